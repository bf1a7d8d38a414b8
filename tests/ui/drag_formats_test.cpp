#include "shell/drag_formats.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>

#include <memory>
#include <utility>
#include <vector>

namespace {

using namespace hvui;
using Formats = std::vector<std::pair<const char*, QByteArray>>;

std::unique_ptr<QMimeData> Mime(const Formats& formats) {
  auto data = std::make_unique<QMimeData>();
  for (const auto& [mime, bytes] : formats) data->setData(mime, bytes);
  return data;
}

QByteArray Uint32(quint32 value) {
  QByteArray bytes;
  for (int i = 0; i < 4; ++i) bytes.append(static_cast<char>(value >> (8 * i)));
  return bytes;
}

QByteArray Utf16Le(const QString& text) {
  QByteArray bytes;
  for (const QChar c : text)
    bytes.append(static_cast<char>(c.unicode() & 0xFF)).append(static_cast<char>(c.unicode() >> 8));
  return bytes;
}

// A dropped-file list written from its layout.
QByteArray DropFiles(const std::vector<QString>& paths, bool wide = false) {
  QByteArray bytes = Uint32(20) + QByteArray(12, '\0') + Uint32(wide ? 1 : 0);
  for (const QString& path : paths) bytes += wide ? Utf16Le(path + QChar(0)) : path.toUtf8() + '\0';
  return bytes + QByteArray(wide ? 2 : 1, '\0');
}

// A file group descriptor with one 332-byte item per name.
QByteArray Descriptor(const std::vector<QByteArray>& names) {
  QByteArray bytes = Uint32(static_cast<quint32>(names.size()));
  for (const QByteArray& name : names)
    bytes += Uint32(0x8000) + QByteArray(68, '\0') + name + QByteArray(260 - name.size(), '\0');
  return bytes;
}

void WriteFile(const QString& path, const QByteArray& contents) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write(contents);
}

// Each format holds the bytes of its layout, and our own drag reads back as the same page.
TEST(DragFormats, dragged_page_offers_its_formats_and_reads_back) {
  const struct {
    QString name;
    QByteArray url, fileName;
    QString readName;
  } cases[] = {
      {"News", "http://example.org/news/", "News.url", "News"},
      {QString("Caf") + QChar(0xE9), "http://example.org/a?b=c", "Caf\xC3\xA9.url", QString("Caf") + QChar(0xE9)},
      {"Two\nlines", "http://h/", "Two\nlines.url", "Twolines"},
      // Cut to fit the descriptor, not inside the two-byte character.
      {QString(254, 'a') + QChar(0xE9), "http://h/", QByteArray(254, 'a') + ".url", QString(254, 'a')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fileName.toStdString());
    const std::unique_ptr<QMimeData> data(MakePageDragData(c.name, c.url));
    const QByteArray zero(1, '\0');
    const Formats expected = {
        {kDropFilesMime, Uint32(20) + QByteArray(16, '\0') + c.url + zero + zero},
        {kPlainTextMime, c.url},
        {kFileGroupDescriptorMime, Descriptor({c.fileName})},
        {kFileContentsMime, "[InternetShortcut]\r\nURL=" + c.url + "\r\n" + zero},
        {kUrlMime, c.url + zero},
        {kUriListMime, c.url + "\r\n"},
        {kMozUrlMime, Utf16Le(QString::fromUtf8(c.url) + "\n" + QString(c.name).replace('\n', ' '))},
    };
    for (const auto& [mime, bytes] : expected) EXPECT_EQ(data->data(mime), bytes) << mime;
    const DropOffer offer = ReadDrop(data.get());
    EXPECT_TRUE(offer.acceptable);
    EXPECT_EQ(offer.url, c.url);
    EXPECT_EQ(offer.name, c.readName);
  }
}

TEST(DragFormats, descriptor_name_loses_shortcut_words_and_extension) {
  const QByteArray url = "http://example.org/";
  const struct {
    std::vector<QByteArray> names;
    QString expected;
  } cases[] = {
      {{"Shortcut to News.url"}, "News"},           {{"SHORTCUT TO News.URL"}, "News"},
      {{"News.url.url"}, "News.url"},               {{"Shortcut toNews.url"}, "Shortcut toNews"},
      {{"  Tab\tbed\r\n.url"}, "Tabbed"},           {{".url"}, "http://example.org/"},
      {{"First.url", "Second.url"}, "Second"},      {{"Latin \xE9.url"}, QString::fromLatin1("Latin \xE9")},
  };
  for (const auto& c : cases) {
    const auto data = Mime({{kUrlMime, url + '\0'}, {kFileGroupDescriptorMime, Descriptor(c.names)}});
    const DropOffer offer = ReadDrop(data.get());
    EXPECT_TRUE(offer.acceptable) << c.names.back().toStdString();
    EXPECT_EQ(offer.name, c.expected) << c.names.back().toStdString();
  }
  // A broken descriptor (more items than bytes) leaves the URL as the name.
  const QByteArray broken = Uint32(5) + QByteArray(332, 'x');
  EXPECT_EQ(ReadDrop(Mime({{kNetscapeBookmarkMime, url}, {kFileGroupDescriptorMime, broken}}).get()).name,
            QString::fromUtf8(url));
}

class DragFormatsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    const QByteArray shortcut = "[InternetShortcut]\r\nURL=";
    WriteFile(Path("News Site.url"), shortcut + "http://news.example/\r\n");
    WriteFile(Path("Secure.url"), shortcut + "https://secure.example/\r\n");
    WriteFile(Path("notes.txt"), shortcut + "http://notes.example/\r\n");
    WriteFile(Path("huge.url"), shortcut + "http://huge.example/\r\n" + QByteArray(70 * 1024, ';'));
    WriteFile(Path("Empty.URL"), "[Other]\r\nURL=http://x/\r\n");
    WriteFile(Path("site.desktop"), "# a link\n[Desktop Entry]\nType=Link\nName=Example\\sSite\nName[de]=Beispiel\n"
                                    "URL = http://site.example/page\n[Other]\nURL=http://wrong/\n");
    WriteFile(Path("app.desktop"), "[Desktop Entry]\nType=Application\nName=App\nURL=http://app.example/\n");
    WriteFile(Path("nameless.desktop"), "[Desktop Entry]\nType=Link\nURL=http://nameless.example/\n");
    // A pipe must be refused, not read (the reader would wait for a writer).
    ASSERT_EQ(::mkfifo(Path("pipe.url").toUtf8().constData(), 0600), 0);
  }
  QString Path(const QString& name) const { return m_dir.filePath(name); }
  QByteArray FileUrl(const QString& name) const { return "file://" + Path(name).toUtf8().toPercentEncoding("/"); }

  QTemporaryDir m_dir;
};

TEST_F(DragFormatsFiles, outside_drops_give_one_page) {
  const QString uber = QString::fromUtf8("\xC3\x9C" "ber uns");
  const struct {
    Formats formats;
    QByteArray url;
    QString name;
  } cases[] = {
      {{{kUriListMime, "# from a browser\r\nhttp://a.example/x\r\n\r\n"}}, "http://a.example/x", "http://a.example/x"},
      {{{kUriListMime, FileUrl("News Site.url") + "\r\n"}}, "http://news.example/", "News Site"},
      {{{kUriListMime, FileUrl("site.desktop")}}, "http://site.example/page", "Example Site"},
      {{{kUriListMime, FileUrl("nameless.desktop")}}, "http://nameless.example/", "http://nameless.example/"},
      {{{kMozUrlMime, Utf16Le("http://m.example/\n" + uber)}, {kUriListMime, "http://m.example/"}}, "http://m.example/",
       uber},
      {{{kMozUrlMime, Utf16Le(QChar(0xFEFF) + QString("http://z.example/\r\nZed") + QChar(0))}}, "http://z.example/",
       "Zed"},
      {{{kMozUrlMime, Utf16Le("HTTP://UPPER.example/")}}, "HTTP://UPPER.example/", "HTTP://UPPER.example/"},
      {{{kNetscapeUrlMime, "http://n.example/\n  Netscape  "}}, "http://n.example/", "Netscape"},
      {{{kDropFilesMime, DropFiles({Path("News Site.url")})}}, "http://news.example/", "News Site"},
      {{{kDropFilesMime, DropFiles({Path("News Site.url")}, true)}}, "http://news.example/", "News Site"},
      {{{kDropFilesMime, DropFiles({Path("site.desktop")})}}, "http://site.example/page", "Example Site"},
      {{{kNetscapeUrlMime, "HTTPS://secure.example/\nSecure"}}, "HTTPS://secure.example/", "Secure"},
      {{{kUriListMime, FileUrl("Secure.url")}}, "https://secure.example/", "Secure"},
  };
  for (const auto& c : cases) {
    const DropOffer offer = ReadDrop(Mime(c.formats).get());
    EXPECT_TRUE(offer.acceptable) << c.url.toStdString();
    EXPECT_EQ(offer.url, c.url);
    EXPECT_EQ(offer.name, c.name);
  }
}

TEST_F(DragFormatsFiles, drops_outside_the_rules_add_nothing) {
  const QByteArray ok = "http://ok.example/";
  const struct {
    const char* what;
    Formats formats;
  } cases[] = {
      {"nothing offered", {}},
      {"plain text only", {{kPlainTextMime, ok}}},
      {"two files", {{kDropFilesMime, DropFiles({Path("News Site.url"), Path("site.desktop")})}, {kUrlMime, ok}}},
      {"an empty file list", {{kDropFilesMime, DropFiles({})}, {kUrlMime, ok}}},
      {"a file list without its end", {{kDropFilesMime, DropFiles({Path("News Site.url")}).chopped(2)}}},
      {"a file list pointing past its end", {{kDropFilesMime, Uint32(4000) + QByteArray(20, '\0')}}},
      {"two links in a uri-list", {{kUriListMime, ok + "\r\nhttp://two.example/\r\n"}, {kUrlMime, ok}}},
      {"httpsx", {{kUriListMime, "httpsx://secure.example/"}}},
      {"ftp", {{kNetscapeBookmarkMime, "ftp://files.example/"}}},
      {"no host", {{kUrlMime, "http:///path"}}},
      {"no https host", {{kUrlMime, "https:///path"}}},
      {"a shortcut without its section", {{kUriListMime, FileUrl("Empty.URL")}}},
      {"a desktop application", {{kUriListMime, FileUrl("app.desktop")}}},
      {"a text file", {{kUriListMime, FileUrl("notes.txt")}}},
      {"a missing shortcut", {{kUriListMime, FileUrl("missing.url")}}},
      {"a pipe named like a shortcut", {{kUriListMime, FileUrl("pipe.url")}}},
      {"a huge shortcut file", {{kUriListMime, FileUrl("huge.url")}}},
      {"a file on another host", {{kUriListMime, "file://elsewhere" + FileUrl("News Site.url").mid(7)}}},
      {"x-moz-url of odd length", {{kMozUrlMime, Utf16Le("http://o.example/\nOdd") + 'x'}}},
      {"x-moz-url of two links", {{kMozUrlMime, Utf16Le("http://a.example/\nA\nhttp://b.example/\nB")}}},
      {"huge text", {{kUrlMime, "http://h.example/" + QByteArray(100 * 1024, 'a')}}},
      {"a URL the cache will not take", {{kNetscapeUrlMime, "http://h.example/" + QByteArray(5000, 'a')}}},
      {"junk without a line break", {{kNetscapeUrlMime, QByteArray(3000, 'j')}}},
      {"binary junk", {{kUrlMime, QByteArray("http://b.example/\x01\x02\xff\x7f", 21)}}},
      {"a control character", {{kMozUrlMime, Utf16Le(QString("http://c.example/") + QChar(0x1B))}}},
  };
  for (const auto& c : cases) {
    const DropOffer offer = ReadDrop(Mime(c.formats).get());
    EXPECT_FALSE(offer.acceptable) << c.what;
    EXPECT_TRUE(offer.url.isEmpty() && offer.name.isEmpty()) << c.what;
  }
  EXPECT_FALSE(ReadDrop(nullptr).acceptable);
}

TEST(DragFormats, effect_follows_source_and_offered_data) {
  const struct {
    const char* mime;
    bool fromThisTree, accepting;
    Qt::DropAction effect;
  } cases[] = {
      {kUrlMime, true, true, Qt::MoveAction},          {kUrlMime, true, false, Qt::IgnoreAction},
      {kMozUrlMime, false, false, Qt::IgnoreAction},   {"text/plain;charset=utf-8", false, true, Qt::CopyAction},
      {kDropFilesMime, false, true, Qt::CopyAction},   {kUriListMime, false, true, Qt::CopyAction},
      {"image/png", false, true, Qt::IgnoreAction},    {kFileGroupDescriptorMime, false, true, Qt::IgnoreAction},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DropEffect(Mime({{c.mime, "x"}}).get(), c.fromThisTree, c.accepting), c.effect) << c.mime;
  EXPECT_EQ(DropEffect(nullptr, false, true), Qt::IgnoreAction);
}

}  // namespace
