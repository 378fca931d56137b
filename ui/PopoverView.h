#pragma once

// The popover's root view over the application model: header, banners and
// one of its three pages (prompt list, settings, setup guide).

#include <memory>

#include <QWidget>

#include "app/AppModel.h"

namespace tamsel {

class PopoverView : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 460;

    explicit PopoverView(std::shared_ptr<AppModel> model, QWidget* parent = nullptr);

signals:
    // The height the content wants at the popover's fixed width, in points;
    // the window around it follows. Changes of half a point or less are not
    // reported.
    void preferredHeightChanged(int height);

private:
    std::shared_ptr<AppModel> model_;
};

} // namespace tamsel
