#pragma once

// The messages under the header: secure input, shortcuts held elsewhere, a
// configuration that could not be read, a save that failed, a passing notice,
// and the offer to bring back a prompt just deleted. Each is as tall as its
// wrapped text.

#include <memory>
#include <vector>

#include "app/AppModel.h"
#include "ui/ViewSupport.h"

class QVBoxLayout;

namespace tamsel {

class BannerView final : public RefreshingView {
    Q_OBJECT
public:
    BannerView(std::shared_ptr<AppModel> model, QWidget* parent);
    void refresh() override;

private:
    struct Banner {
        QString title;
        QString detail;
        void (AppModel::*dismiss)() = nullptr;
        // Warnings wear the warning sign; news the information sign.
        bool isWarning = true;
        QString actionText;
        void (AppModel::*action)() = nullptr;
        bool operator==(const Banner&) const = default;
    };

    std::vector<Banner> banners() const;
    QWidget* makeBanner(const Banner& banner);

    std::shared_ptr<AppModel> model_;
    QVBoxLayout* stack_;
    std::vector<Banner> shown_;
    bool built_ = false;
};

} // namespace tamsel
