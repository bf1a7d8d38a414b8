// The window layout file is never written or read through a link.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "shell/window_layout.h"

namespace {

using hvui::LoadWindowLayout;
using hvui::SaveWindowLayout;

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(WindowLayout, a_link_in_the_files_place_is_replaced_and_what_it_names_is_left_alone) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString layout = dir.filePath("hvmain.ini"), other = dir.filePath("notes.txt");
  {
    QFile file(other);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[window]\ngeometry=mine\n");
  }
  ASSERT_TRUE(QFile::link(other, layout));
  EXPECT_TRUE(LoadWindowLayout(layout).geometry.isEmpty()) << "read through the link";
  SaveWindowLayout(layout, {"g", "s"});
  EXPECT_EQ(ReadFile(other), QByteArray("[window]\ngeometry=mine\n"));
  EXPECT_FALSE(QFileInfo(layout).isSymLink());
  const hvui::WindowLayout read = LoadWindowLayout(layout);
  EXPECT_EQ(read.geometry, QByteArray("g"));
  EXPECT_EQ(read.state, QByteArray("s"));
}

}  // namespace
