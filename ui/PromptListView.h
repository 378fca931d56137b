#pragma once

// The popover's main page: header, banners, the prompts, and a footer with
// the add and settings buttons. The list grows with its content up to 560
// points and scrolls beyond.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppModel.h"
#include "ui/ViewSupport.h"

class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace tamsel {

class BannerView;
class HeaderView;
class RuleRowView;

class PromptListView final : public RefreshingView {
    Q_OBJECT
public:
    static constexpr int maximumListHeight = 560;

    PromptListView(std::shared_ptr<AppModel> model, QWidget* parent);
    void refresh() override;

    RuleRowView* row(const std::string& ruleID) const;
    QScrollArea* scrollArea() const { return scroll_; }
    double listHeight() const { return listHeight_.value; }

private:
    void rebuildRows(const std::vector<Rule>& rules);
    void measureList(bool rowsChanged);

    std::shared_ptr<AppModel> model_;
    HeaderView* header_;
    BannerView* banners_;
    QLabel* empty_;
    QScrollArea* scroll_;
    QWidget* listContent_;
    QVBoxLayout* listStack_;
    std::vector<RuleRowView*> rows_;
    MeasuredHeight listHeight_;
    std::optional<std::string> focusNameOf_;
    QToolButton* add_;
    QToolButton* settings_;
};

} // namespace tamsel
