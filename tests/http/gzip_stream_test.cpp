// Gzip bodies inflated as they arrive, in pieces cut anywhere and into
// blocks of any size; corrupt streams fail.
#include <gtest/gtest.h>

#include <string>

#include "engine/http/gzip_stream.h"
#include "support/gzip_bytes.h"

namespace {

using hv::test::Gzip;
using State = GzipStream::State;

struct Result {
  std::string text;
  State state;
};

// Feeds input in pieces of step bytes (0: whole), reading blocks of outSize.
Result Inflate(const std::string& input, std::size_t step, std::size_t outSize = 4096) {
  GzipStream stream;
  Result result;
  std::string block(outSize, '\0');
  const std::size_t piece = step == 0 ? input.size() : step;
  for (std::size_t from = 0; from < input.size(); from += piece) {
    stream.Input(input.data() + from, std::min(piece, input.size() - from));
    while (const std::size_t n = stream.Output(block.data(), block.size())) result.text.append(block.data(), n);
  }
  result.state = stream.GetState();
  return result;
}

std::string Text(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
  text.resize(size);
  return text;
}

TEST(GzipStream, inflates_in_any_pieces_and_blocks) {
  const std::string text = Text(20000);
  const std::string gz = Gzip(text);
  std::string corrupt = gz;
  corrupt[gz.size() / 2] ^= 0x55;
  std::string badCrc = gz;
  badCrc[gz.size() - 6] ^= 0x01;
  const struct {
    const char* name;
    std::string input;
    std::string text;  // checked when it ends
    State state;
  } cases[] = {
      {"one member", gz, text, State::done},
      {"empty body's member", Gzip(""), "", State::done},
      {"two members", Gzip("first ") + Gzip("second"), "first second", State::done},
      {"garbage after the end", Gzip("page") + "\r\n\0junk" + Gzip("more"), "page", State::done},
      {"cut short", gz.substr(0, gz.size() - 10), "", State::inflating},
      {"not gzip", "<html>plain</html>", "", State::failed},
      {"corrupt", corrupt, "", State::failed},
      {"wrong check sum", badCrc, "", State::failed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::size_t step : {std::size_t{0}, std::size_t{1}, std::size_t{4096}}) {
      for (const std::size_t outSize : {std::size_t{1}, std::size_t{4096}}) {
        if (step == 1 && outSize == 1 && c.input.size() > 4096) continue;
        const Result result = Inflate(c.input, step, outSize);
        EXPECT_EQ(result.state, c.state) << step << " " << outSize;
        if (c.state == State::done) {
          EXPECT_EQ(result.text, c.text) << step << " " << outSize;
        }
      }
    }
  }
  for (std::size_t cut = 1; cut < gz.size(); ++cut) {
    GzipStream stream;
    std::string out, block(4096, '\0');
    for (const auto& [from, to] : {std::pair{std::size_t{0}, cut}, std::pair{cut, gz.size()}}) {
      stream.Input(gz.data() + from, to - from);
      while (const std::size_t n = stream.Output(block.data(), block.size())) out.append(block.data(), n);
    }
    ASSERT_EQ(out, text) << "cut at " << cut;
  }
}

TEST(GzipStream, each_block_of_a_bomb_comes_out_on_its_own) {
  // Ten megabytes of zeros in a few kilobytes: one call never gives more than
  // the block asked for, so the caller can stop at any block.
  const std::string gz = Gzip(std::string(10 << 20, '\0'));
  ASSERT_LT(gz.size(), 20000u);
  GzipStream stream;
  stream.Input(gz.data(), 1024);
  char block[4096];
  std::size_t blocks = 0;
  while (stream.Output(block, sizeof block) == sizeof block) ++blocks;
  EXPECT_GT(blocks, 100u);
  EXPECT_EQ(stream.GetState(), State::inflating);
}

}  // namespace
