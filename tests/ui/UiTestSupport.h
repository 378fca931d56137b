#pragma once

// A popover or Prompt Lab view over a real application model on the fakes,
// and the few ways the tests look into the widgets.

#include <filesystem>
#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QStringList>

#include "core/config/ConfigCodec.h"
#include "tests/support/FakeAppServices.h"
#include "tests/support/TemporaryFolder.h"
#include "ui/PopoverView.h"

namespace tamsel::testing {

inline Rule makeRule(std::string id, std::string name, std::string hotkey = "",
                     std::string insertHotkey = "", std::string text = "Text.") {
    Rule rule;
    rule.id = std::move(id);
    rule.name = std::move(name);
    rule.hotkey = std::move(hotkey);
    rule.insertHotkey = std::move(insertHotkey);
    rule.text = std::move(text);
    return rule;
}

class PopoverFixture : protected FakeAppServices {
protected:
    void start(std::vector<Rule> rules, LanguagePreference language = LanguagePreference::en) {
        Config config;
        config.language = language;
        config.rules = std::move(rules);
        writeFile(file, ConfigCodec::encode(config));
        model = makeAppModel(file);
        view = std::make_unique<PopoverView>(model, SettingsActions{}, Appearance::light);
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->show();
        pump();
    }

    ~PopoverFixture() {
        view.reset();
        if (model) {
            model->tap()->stop();
        }
    }

    // Runs what the widgets and the model queued, then lets the view re-read.
    void pump() {
        for (int round = 0; round < 3; ++round) {
            QApplication::processEvents();
            mainQueue->runPending();
            view->refreshNow();
        }
        view->resize(PopoverView::width, view->preferredHeight());
        QApplication::processEvents();
    }

    template <typename Widget> Widget* find(const char* name) const {
        return view->findChild<Widget*>(QString::fromLatin1(name));
    }

    std::string fileBytes() const { return readFile(file); }

    TemporaryFolder home;
    std::filesystem::path file = home / "config.json";
    std::shared_ptr<AppModel> model;
    std::unique_ptr<PopoverView> view;
};

// Every text a user can see under `root`: labels, buttons and segment names.
inline QStringList visibleTexts(const QWidget* root) {
    QStringList texts;
    for (const QLabel* label : root->findChildren<QLabel*>()) {
        if (label->isVisibleTo(root) && !label->text().isEmpty()) {
            texts << label->text();
        }
    }
    for (const QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (button->isVisibleTo(root) && !button->text().isEmpty()) {
            texts << button->text();
        }
    }
    return texts;
}

} // namespace tamsel::testing
