#include "platform/window/resources.h"

#include <QPixmap>

#include <map>
#include <memory>
#include <utility>

#include "platform/window/qt_icon.h"

const DialogTemplate* FindDialogTemplate(const ResourceModule& module, int id)
{
    for (const DialogTemplate& dialogTemplate : module.dialogs)
        if (dialogTemplate.id == id) return &dialogTemplate;
    return nullptr;
}

const Icon* LoadIcon(const ResourceModule& module, int id)
{
    static std::map<std::pair<const ResourceModule*, int>, std::unique_ptr<Icon>> loaded;
    std::unique_ptr<Icon>& icon = loaded[{&module, id}];
    if (icon) return icon.get();
    QIcon images;
    for (const IconImage& image : module.icons) {
        QPixmap pixmap;
        if (image.id == id &&
            pixmap.loadFromData(image.png, static_cast<uint>(image.length), "PNG"))
            images.addPixmap(pixmap);
    }
    if (images.isNull()) {
        loaded.erase({&module, id});
        return nullptr;
    }
    icon = std::make_unique<Icon>(Icon{id, images});
    return icon.get();
}
