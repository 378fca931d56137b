#include "app/SessionPlan.h"

namespace tamsel {

bool SessionPlan::onlyX11Windows() const {
    return kind == SessionKind::waylandWithXWayland &&
           (trigger == Provider::x11 || keyboard == Provider::x11);
}

bool SessionPlan::canFire() const { return keyboard != Provider::none; }

SessionPlan SessionPlan::choose(const SessionOffer& offer) {
    SessionPlan plan;
    if (!offer.waylandSession) {
        if (offer.x11Display) {
            plan = {SessionKind::x11, Provider::x11, Provider::x11, Provider::x11, Provider::x11};
        }
        return plan;
    }
    plan.kind = offer.x11Display ? SessionKind::waylandWithXWayland : SessionKind::waylandOnly;
    const Provider xwayland = offer.x11Display ? Provider::x11 : Provider::none;
    plan.trigger = offer.swayIpc ? Provider::sway : xwayland;
    plan.frontmost = offer.swayIpc ? Provider::sway : xwayland;
    plan.keyboard = offer.virtualKeyboard ? Provider::wayland : xwayland;
    plan.clipboard = offer.dataControl ? Provider::wayland : xwayland;
    return plan;
}

namespace SessionTexts {

namespace {

std::string pick(Language language, std::string en, std::string ja) {
    return language == Language::ja ? std::move(ja) : std::move(en);
}

std::string name(Provider provider, Language language) {
    switch (provider) {
    case Provider::x11:
        return "X11";
    case Provider::sway:
        return "sway IPC";
    case Provider::wayland:
        return "Wayland";
    case Provider::none:
        return pick(language, "none", "なし");
    }
    return {};
}

} // namespace

std::string summary(const SessionPlan& plan, Language language) {
    std::string session;
    switch (plan.kind) {
    case SessionKind::x11:
        session = pick(language, "X11 session", "X11 セッション");
        break;
    case SessionKind::waylandWithXWayland:
        session = pick(language, "Wayland session with XWayland", "Wayland セッション（XWayland あり）");
        break;
    case SessionKind::waylandOnly:
        session = pick(language, "Wayland session without XWayland", "Wayland セッション（XWayland なし）");
        break;
    case SessionKind::none:
        return pick(language, "No display: neither X11 nor Wayland answers.",
                    "ディスプレイがありません。X11 も Wayland も応答しません。");
    }
    return session + pick(language, ": shortcuts by ", "：ショートカットは ") + name(plan.trigger, language) +
           pick(language, ", front application by ", "、前面アプリは ") + name(plan.frontmost, language) +
           pick(language, ", typing by ", "、入力は ") + name(plan.keyboard, language) +
           pick(language, ", clipboard by ", "、クリップボードは ") + name(plan.clipboard, language) +
           pick(language, ".", "。");
}

std::vector<std::string> limits(const SessionPlan& plan, Language language) {
    std::vector<std::string> lines;
    if (plan.kind == SessionKind::x11) {
        return lines;
    }
    if (plan.trigger == Provider::none) {
        lines.push_back(pick(language,
                             "This desktop lets no program watch shortcuts: they cannot fire here. "
                             "Bind the commands listed in Settings (tamsel --fire …) in the "
                             "desktop's own shortcut settings instead.",
                             "このデスクトップではショートカットを監視できないため、発火しません。"
                             "代わりに、設定に並ぶコマンド（tamsel --fire …）をデスクトップのショートカット設定に登録してください。"));
    } else if (plan.trigger == Provider::x11) {
        lines.push_back(pick(language,
                             "Shortcuts reach Tamsel only while an X11 (XWayland) window is in front.",
                             "ショートカットは X11（XWayland）のウインドウが前面のときだけ届きます。"));
    }
    if (plan.keyboard == Provider::none) {
        lines.push_back(pick(language, "Tamsel cannot type or paste in this session.",
                             "このセッションでは入力も貼り付けもできません。"));
    } else if (plan.keyboard == Provider::x11) {
        lines.push_back(pick(language,
                             "Tamsel can type and paste only into X11 (XWayland) windows here.",
                             "ここでは X11（XWayland）のウインドウにだけ入力と貼り付けができます。"));
    }
    if (plan.frontmost == Provider::none) {
        lines.push_back(pick(language,
                             "The application in front cannot be known here, so the list of "
                             "target applications cannot be applied: prompts go to whichever "
                             "window has the focus.",
                             "ここでは前面のアプリを知る方法がないため、対象アプリの設定は使えません。"
                             "プロンプトはフォーカスのあるウインドウに入力されます。"));
    }
    return lines;
}

} // namespace SessionTexts

} // namespace tamsel
