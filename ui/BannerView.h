#pragma once

// Up to four messages under the header: secure input, a configuration that
// could not be read, a save that failed, and a passing notice.

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
