#pragma once

// The popover's root view over the application model: one of its three pages
// (prompt list, settings, setup guide), at a fixed width, as tall as its
// content wants.
//
// The tray application puts it in a frameless popup and follows
// preferredHeightChanged. Settings that need the desktop (quitting, launch at
// login, opening the configuration file) go through SettingsActions, which
// the tray application may replace; the defaults are safe without a desktop.

#include <memory>

#include <QWidget>

#include "app/AppModel.h"
#include "ui/SettingsActions.h"
#include "ui/Tokens.h"
#include "ui/ViewSupport.h"

namespace tamsel {

class ModelObserver;
class RefreshingView;

class PopoverView : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 460;
    static_assert(width == popoverWidth);
    enum class Page { list, settings, setup };

    explicit PopoverView(std::shared_ptr<AppModel> model, QWidget* parent = nullptr);
    PopoverView(std::shared_ptr<AppModel> model, SettingsActions actions, Appearance appearance,
                QWidget* parent = nullptr);
    ~PopoverView() override;

    void setSettingsActions(SettingsActions actions);
    void setAppearance(Appearance appearance);

    Page page() const { return page_; }
    RefreshingView* pageView() const { return pageView_; }
    // The height the content wants at the fixed width, in points.
    int preferredHeight();
    // Re-reads the model now rather than on the next turn of the event loop.
    void refreshNow();
    // The most the window can give the view, in points: lists scroll sooner
    // so that the whole page fits.
    void setHeightLimit(int limit);
    int heightLimit() const { return heightLimit_; }

signals:
    // The height the content wants at the popover's fixed width, in points;
    // the window around it follows. Changes of half a point or less are not
    // reported.
    void preferredHeightChanged(int height);

protected:
    bool event(QEvent* event) override;

private:
    void refresh();
    void reportHeight();
    Page wantedPage() const;

    std::shared_ptr<AppModel> model_;
    SettingsActions actions_;
    ModelObserver* observer_ = nullptr;
    Page page_ = Page::list;
    RefreshingView* pageView_ = nullptr;
    double reportedHeight_ = 0;
    int heightLimit_ = QWIDGETSIZE_MAX;
};

} // namespace tamsel
