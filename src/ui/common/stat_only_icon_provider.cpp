#include "ui/common/stat_only_icon_provider.h"

#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>

namespace tavril {
namespace {

// Matching by extension looks at the name, and at the file status only to
// recognise folders, pipes, sockets and devices; it never opens the file.
QMimeType TypeFromName(const QFileInfo& info) {
  return QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
}

}  // namespace

QIcon StatOnlyIconProvider::icon(const QFileInfo& info) const {
  if (info.isRoot()) return icon(Drive);
  if (info.isDir()) return icon(Folder);
  const QMimeType mime = TypeFromName(info);
  return QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), icon(File)));
}

QString StatOnlyIconProvider::type(const QFileInfo& info) const {
  // Qt names a folder or a drive without reading anything.
  if (info.isDir()) return QFileIconProvider::type(info);
  const QMimeType mime = TypeFromName(info);
  return mime.comment().isEmpty() ? mime.name() : mime.comment();
}

}  // namespace tavril
