#include "shell/tree_images.h"

#include <QHash>

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

QIcon TreeIcon(int image) {
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

}  // namespace hvui
