#include "shell/tree_images.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include "harvion/ui_node.h"

namespace hvui {

int PageStateImage(const _httpRetrieveResult& result) {
  const int code = result.statusCode;
  if (code == 200 || code == 304) {
    if (result.localCopy) return result.modified ? kImagePageStoredNew : kImagePageStored;
    return result.modified ? kImagePageNoCopyNew : kImagePageNever;
  }
  if (code == 404 || code == 410) return kImagePageMissing;
  return result.retrievedBefore ? kImagePageFailed : kImagePageNever;
}

int ClosedImage(int nodeClass) {
  switch (nodeClass) {
    case kNodeKindAgent:
      return kImageAgent;
    case kNodeKindFolder:
      return kImageFolder;
    case kNodeKindSearchFolder:
      return kImageSearchFolder;
    default:
      return kImagePageNever;
  }
}

bool HasOpenImage(int nodeClass) { return nodeClass == kNodeKindFolder || nodeClass == kNodeKindSearchFolder; }

bool ShowsOwnSettings(bool hasParent, int kind, unsigned long loadInfo, unsigned long scheduleInfo) {
  const bool inheritsAll = (loadInfo & 0x80) != 0 && (scheduleInfo & 1) != 0;
  return hasParent && (kind & kNodeFlagUserItem) != 0 && !inheritsAll;
}

namespace {

QIcon PlainIcon(int image) {
  static const QHash<int, QString> files = {
      {kImageAgent, "agent"},
      {kImagePageMissing, "page-missing"},
      {kImagePageLoading, "page-loading"},
      {kImagePageFailed, "page-not-stored"},
      {kImagePageNoCopyNew, "page-modified"},
      {kImagePageNever, "page-never"},
      {kImagePageStoredNew, "page-modified"},
      {kImagePageStored, "page-stored"},
      {kImageFolder, "folder-closed"},
      {kImageFolder + 1, "folder-open"},
      {kImageSearchFolder, "search-folder-closed"},
      {kImageSearchFolder + 1, "search-folder-open"},
  };
  static QHash<int, QIcon> icons;
  const auto file = files.find(image);
  if (file == files.end()) return {};
  auto icon = icons.find(image);
  if (icon == icons.end()) icon = icons.insert(image, QIcon(":/icons/" + file.value() + ".svg"));
  return icon.value();
}

// The picture with the overlay drawn over it, at the tree's size and twice
// that for screens of a higher density.
QIcon WithOverlay(const QIcon& plain) {
  static QSvgRenderer overlay(QStringLiteral(":/icons/own-settings-overlay.svg"));
  QIcon icon;
  for (const int ratio : {1, 2}) {
    QPixmap picture = plain.pixmap(QSize(16, 16), ratio);
    picture.setDevicePixelRatio(ratio);
    QPainter painter(&picture);
    overlay.render(&painter, QRectF(0, 0, 16, 16));
    painter.end();
    icon.addPixmap(picture);
  }
  return icon;
}

}  // namespace

QIcon TreeIcon(int image, bool overlay) {
  if (!overlay) return PlainIcon(image);
  static QHash<int, QIcon> icons;
  auto icon = icons.find(image);
  if (icon == icons.end()) {
    const QIcon plain = PlainIcon(image);
    icon = icons.insert(image, plain.isNull() ? plain : WithOverlay(plain));
  }
  return icon.value();
}

}  // namespace hvui
