// The object stream: every encoding form, and the refusals that keep a
// reader safe whatever the bytes.
#include <gtest/gtest.h>

#include "platform/files/file.h"
#include "platform/framework/archive.h"
#include "platform/framework/exceptions.h"
#include "platform/framework/serial.h"
#include "support/golden_bytes.h"

namespace {

// A stored class with one string and an optional reference to another item.
class CArchiveItem : public CObject {
  DECLARE_SERIAL(CArchiveItem)
 public:
  void Serialize(CArchive& ar) override {
    if (ar.IsStoring()) {
      ar.WriteString(m_text);
      ar.WriteObject(m_link);
    } else {
      m_text = ar.ReadString();
      m_link = static_cast<CArchiveItem*>(ar.ReadObject(RUNTIME_CLASS(CArchiveItem), &m_linkIsNew));
      if (m_linkIsNew) m_owned.reset(m_link);
    }
  }
  std::string m_text;
  CArchiveItem* m_link = nullptr;
  bool m_linkIsNew = false;
  std::unique_ptr<CArchiveItem> m_owned;
};
IMPLEMENT_SERIAL(CArchiveItem, CObject, 1)

// Another class, to check the class test.
class COtherItem : public CObject {
  DECLARE_SERIAL(COtherItem)
};
IMPLEMENT_SERIAL(COtherItem, CObject, 2)

std::vector<std::uint8_t> Store(const std::function<void(CArchive&)>& write) {
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  write(ar);
  ar.Close();
  return file.Detach();
}

template <class Read>
auto Load(std::vector<std::uint8_t> bytes, Read read) {
  CMemFile file(std::move(bytes));
  CArchive ar(&file, CArchive::load, 16);  // a small buffer crosses many refills
  return read(ar);
}

TEST(Archive, strings_use_the_one_three_and_seven_byte_length_forms) {
  struct Case {
    std::size_t length;
    std::vector<std::uint8_t> prefix;
  } cases[] = {
      {0, {0x00}},
      {254, {0xFE}},
      {255, {0xFF, 0xFF, 0x00}},
      {0xFFFD, {0xFF, 0xFD, 0xFF}},
      {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
      {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    const std::string text(c.length, 'q');
    const auto bytes = Store([&](CArchive& ar) { ar.WriteString(text); });
    ASSERT_EQ(bytes.size(), c.prefix.size() + c.length);
    EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), bytes.begin()));
    EXPECT_EQ(Load(bytes, [](CArchive& ar) { return ar.ReadString(); }), text);
  }
}

TEST(Archive, counts_escape_at_0xffff) {
  EXPECT_EQ(Store([](CArchive& ar) { ar.WriteCount(0xFFFE); }), (std::vector<std::uint8_t>{0xFE, 0xFF}));
  const auto big = Store([](CArchive& ar) { ar.WriteCount(0xFFFF); });
  EXPECT_EQ(big, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
  // A count that the rest of the stream cannot hold is refused.
  EXPECT_THROW(Load(big, [](CArchive& ar) { return ar.ReadCount(); }), CArchiveException);
}

TEST(Archive, classes_and_objects_share_one_index_sequence) {
  CArchiveItem a, b;
  a.m_text = "a";
  b.m_text = "b";
  a.m_link = &b;
  b.m_link = &a;  // back to the first object
  const auto bytes = Store([&](CArchive& ar) {
    ar.WriteObject(&a);
    ar.WriteObject(&b);
    ar.WriteObject(nullptr);
  });
  GoldenBytes g;
  g.newClass("CArchiveItem").str("a");  // class 1, a = 2
  g.classRef(1).str("b").objectRef(2);  // b = 3, links back to a
  g.objectRef(3).null();
  EXPECT_EQ(bytes, g.bytes());

  Load(bytes, [](CArchive& ar) {
    std::unique_ptr<CObject> first = ar.ReadNewObject(RUNTIME_CLASS(CArchiveItem));
    auto* a2 = static_cast<CArchiveItem*>(first.get());
    EXPECT_EQ(a2->m_text, "a");
    if (!a2->m_link) {
      ADD_FAILURE() << "link not read";
      return 0;
    }
    EXPECT_EQ(a2->m_link->m_text, "b");
    EXPECT_EQ(a2->m_link->m_link, a2);
    EXPECT_EQ(ar.ReadReference(RUNTIME_CLASS(CArchiveItem)), a2->m_link);
    EXPECT_EQ(ar.ReadReference(RUNTIME_CLASS(CObject)), nullptr);
    return 0;
  });
}

TEST(Archive, an_owned_object_takes_its_index_so_later_references_stay_right) {
  CArchiveItem a, owned, b;
  a.m_text = "a";
  owned.m_text = "owned";
  b.m_text = "b";
  b.m_link = &a;
  const auto write = [&](bool ownedForm) {
    return Store([&](CArchive& ar) {
      ar.WriteObject(&a);
      if (ownedForm) {
        ar.WriteOwnedObject(&owned);
        ar.WriteOwnedObject(nullptr);
      } else {
        ar.WriteObject(&owned);
        ar.WriteObject(nullptr);
      }
      ar.WriteObject(&b);
      ar.WriteObject(&b);
    });
  };
  GoldenBytes g;
  g.newClass("CArchiveItem").str("a").null();  // class 1, a = 2
  g.classRef(1).str("owned").null().null();    // owned = 3
  g.classRef(1).str("b").objectRef(2);         // b = 4, links back to a
  g.objectRef(4);
  EXPECT_EQ(write(true), g.bytes());
  EXPECT_EQ(write(true), write(false));
}

TEST(Archive, indexes_past_0x7ffe_use_the_long_forms) {
  // Class 1 and objects 2 .. 0x8000; then a new class gets index 0x8001.
  std::vector<std::unique_ptr<CArchiveItem>> items(0x7FFF);
  for (auto& item : items) item = std::make_unique<CArchiveItem>();
  COtherItem first, second;
  const auto bytes = Store([&](CArchive& ar) {
    for (auto& item : items) ar.WriteObject(item.get());
    ar.WriteObject(&first);   // class 0x8001, object 0x8002
    ar.WriteObject(&second);  // object 0x8003 of class 0x8001: long class form
    ar.WriteObject(&second);  // long back-reference
  });
  const std::vector<std::uint8_t> tail = {0xFF, 0x7F, 0x01, 0x80, 0x00, 0x80,   // class 0x8001
                                          0xFF, 0x7F, 0x03, 0x80, 0x00, 0x00};  // object 0x8003
  ASSERT_GT(bytes.size(), tail.size());
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.end() - 12, bytes.end()), tail);
  Load(bytes, [&](CArchive& ar) {
    std::vector<std::unique_ptr<CObject>> read;
    for (std::size_t i = 0; i < items.size() + 2; ++i) read.push_back(ar.ReadNewObject(RUNTIME_CLASS(CObject)));
    EXPECT_TRUE(read.back()->IsKindOf(RUNTIME_CLASS(COtherItem)));
    EXPECT_EQ(ar.ReadReference(RUNTIME_CLASS(COtherItem)), read.back().get());
    return 0;
  });
}

// Streams that break the rules: each must raise the archive's error.
TEST(Archive, broken_streams_raise_archive_errors) {
  GoldenBytes good;
  good.newClass("CArchiveItem").str("x").null();
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  };
  auto with = [&](std::function<void(std::vector<std::uint8_t>&)> change) {
    auto b = good.bytes();
    change(b);
    return b;
  };
  const std::vector<Case> cases = {
      {"empty", {}},
      {"truncated tag", {0xFF}},
      {"truncated class name", with([](auto& b) { b.resize(10); })},
      {"unknown class", with([](auto& b) { b[6] = 'Z'; })},
      {"wrong schema", with([](auto& b) { b[2] = 7; })},
      {"zero-length class name", with([](auto& b) { b[4] = 0; })},
      {"string past the end", with([](auto& b) { b[18] = 0x30; })},
      {"object index never handed out", {0x05, 0x00}},
      {"class index never handed out", {0x01, 0x80}},
      {"long form index never handed out", {0xFF, 0x7F, 0x00, 0x10, 0x00, 0x00}},
      {"class of the wrong kind", GoldenBytes().newClass("COtherItem").bytes()},
      {"wide string marker", with([](auto& b) { b[18] = 0xFF; b.insert(b.begin() + 19, {0xFE, 0xFF}); })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> bytes = c.bytes;
    if (std::string(c.what) == "class of the wrong kind") bytes[2] = 2;  // its own schema
    EXPECT_THROW(Load(bytes, [](CArchive& ar) { return ar.ReadNewObject(RUNTIME_CLASS(CArchiveItem)); }),
                 CArchiveException);
  }
}

TEST(Archive, reference_and_new_object_rules) {
  CArchiveItem a;
  const auto twice = Store([&](CArchive& ar) {
    ar.WriteObject(&a);
    ar.WriteObject(&a);
  });
  // A second mention is a back-reference where a new object is required.
  EXPECT_THROW(Load(twice,
                    [](CArchive& ar) {
                      auto first = ar.ReadNewObject(RUNTIME_CLASS(CArchiveItem));
                      return ar.ReadNewObject(RUNTIME_CLASS(CArchiveItem));
                    }),
               CArchiveException);
  // A new object where only a reference may stand.
  EXPECT_THROW(Load(twice, [](CArchive& ar) { return ar.ReadReference(RUNTIME_CLASS(CArchiveItem)); }),
               CArchiveException);
}

TEST(Archive, after_a_failed_object_nothing_more_is_read) {
  // The inner object breaks; the outer one catches nothing, but a reader that
  // tried again must not reach the object that died.
  GoldenBytes g;
  g.newClass("CArchiveItem").str("outer").classRef(1).str("inner").u16(0x0009);
  Load(g.bytes(), [](CArchive& ar) {
    EXPECT_THROW(ar.ReadNewObject(RUNTIME_CLASS(CArchiveItem)), CArchiveException);
    EXPECT_THROW(ar.ReadReference(RUNTIME_CLASS(CArchiveItem)), CArchiveException);
    return 0;
  });
}

}  // namespace
