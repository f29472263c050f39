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

QIcon imageListPicture(int index) {
    registerResources();
    return QIcon(QStringLiteral(":/images/%1.svg").arg(index));
}

QIcon applicationIcon() {
    registerResources();
    return QIcon(QStringLiteral(":/images/zandorelfe.svg"));
}

}  // namespace zfe::gui
