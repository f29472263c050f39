#include "gui/pictures.h"

#include <QString>

// Resources of a static library must be registered by name from the global
// namespace.
static void registerResourcesFromGlobalNamespace() {
    Q_INIT_RESOURCE(zandorelfe);
}

namespace zfe::gui {

void registerResources() {
    registerResourcesFromGlobalNamespace();
}

QIcon picture(const QString& resource) {
    registerResources();
    return QIcon(resource + QStringLiteral(ZFE_PICTURE_SUFFIX));
}

QIcon imageListPicture(int index) {
    return picture(QStringLiteral(":/images/%1").arg(index));
}

QIcon applicationIcon() {
    return picture(QStringLiteral(":/images/zandorelfe"));
}

}  // namespace zfe::gui
