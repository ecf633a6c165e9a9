// The Qt side of an icon that LoadIcon() hands out: every size the resources have of it. Apart
// from the dialog's Qt side, so that loading icons needs nothing of a dialog.
#pragma once

#include <QIcon>

struct Icon {
    int id;
    QIcon icon;
};
