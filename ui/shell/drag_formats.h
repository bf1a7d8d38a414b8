// What a page dragged out of the agent tree offers, and what a drop onto the
// tree may add. The blocks other desktop programs know (dropped-file list,
// file group descriptor, shortcut contents, URL text) are built by the
// engine's exports and offered under their plain names; beside them go the
// types Linux programs read.
#pragma once

#include <QByteArray>
#include <QString>
#include <Qt>

class QMimeData;

namespace hvui {

// A dropped-file list block as the engine's CreateHdrop/AppendFileToHdrop
// build it (a 20-byte header, zero-terminated paths, a final zero).
inline constexpr char kDropFilesMime[] = "application/x-harvion-hdrop";
// One FILEGROUPDESCRIPTOR block naming the shortcut file ("Name.url").
inline constexpr char kFileGroupDescriptorMime[] = "FileGroupDescriptor";
// The shortcut file: "[InternetShortcut]\r\nURL=..\r\n" and a zero.
inline constexpr char kFileContentsMime[] = "FileContents";
// The URL and a zero.
inline constexpr char kUrlMime[] = "UniformResourceLocator";
inline constexpr char kNetscapeBookmarkMime[] = "Netscape Bookmark";
inline constexpr char kUriListMime[] = "text/uri-list";
// UTF-16LE "url\ntitle".
inline constexpr char kMozUrlMime[] = "text/x-moz-url";
// UTF-8 "url\ntitle".
inline constexpr char kNetscapeUrlMime[] = "_NETSCAPE_URL";
inline constexpr char kPlainTextMime[] = "text/plain";

// The data of a page item being dragged: the dropped-file list holding the
// URL, the URL as text, the descriptor for "name.url" and its contents, the
// URL block, and text/uri-list (URL CR LF), text/x-moz-url and text/plain.
// A name too long for the descriptor is cut there. The caller owns the
// result (QDrag takes it).
QMimeData* MakePageDragData(const QString& name, const QByteArray& url);

// A page a drop from outside would add: URL and name for CreateHTMLNode.
struct DropOffer {
  bool acceptable = false;
  QByteArray url;
  QString name;
};

// Reads a drop from outside the tree; not acceptable means nothing is added.
// In this order:
// - a dropped-file list must name exactly one file; a shortcut file (read
//   with GetUrl; a ".desktop" link file read as below) gives the URL and its
//   file name without ".url" gives the name. A single entry that is no
//   shortcut (our own drag lists the page URL there) leaves the choice to
//   the formats below.
// - "UniformResourceLocator" or "Netscape Bookmark": the URL; the name is the
//   last "FileGroupDescriptor" entry's file name without a final ".url" and
//   a leading "Shortcut to " (any case), else the URL.
// - text/x-moz-url, then _NETSCAPE_URL: one URL and its title as the name.
// - text/uri-list: exactly one entry besides comments; an http URL as is, or
//   a file:// URL of a ".url" shortcut or a ".desktop" file of Type=Link
//   (URL= and Name=).
// Two or more files or URLs are refused, as is every URL the agent's cache
// would not take (only http: and https:, at most 4096 bytes) and any format
// over 64 KiB.
// Names are cleaned with CreateName; an empty one becomes the URL.
DropOffer ReadDrop(const QMimeData* data);

// The effect shown while dragging over the tree: none unless drops are
// taken now (an agent open, no run); move for an item of this tree; copy
// for data offering text or a file list; none otherwise.
Qt::DropAction DropEffect(const QMimeData* data, bool fromThisTree, bool acceptingDrops);

}  // namespace hvui
