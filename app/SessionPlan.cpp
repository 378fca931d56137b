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
    if (offer.swayIpc) {
        plan.trigger = Provider::sway;
        plan.frontmost = Provider::sway;
    } else if (offer.portalShortcuts > 0) {
        // The desktop fires in every window, native or not; X11 would know
        // the window in front only while it is an X11 one.
        plan.trigger = Provider::portal;
        plan.frontmost = offer.kwinScripting ? Provider::kwin : Provider::none;
    } else {
        plan.trigger = xwayland;
        plan.frontmost = xwayland;
    }
    if (offer.virtualKeyboard) {
        plan.keyboard = Provider::wayland;
    } else if (offer.portalRemoteDesktop > 0 &&
               (plan.trigger == Provider::portal || !offer.x11Display)) {
        // Where only X11 windows get the shortcuts XTEST serves them without
        // asking the user anything.
        plan.keyboard = Provider::portal;
        plan.keyboardConsentKept = offer.portalRemoteDesktop >= 2;
    } else {
        plan.keyboard = xwayland;
    }
    if (offer.dataControl) {
        plan.clipboard = Provider::wayland;
    } else if (plan.keyboard == Provider::portal) {
        // The keyboard's session can share the clipboard, where the portal
        // knows how (its Start says so from RemoteDesktop version 2 on).
        // X11's selections would reach only X11 windows, and the paste key
        // goes to every window: without either, type.
        plan.clipboard = offer.portalClipboard > 0 && offer.portalRemoteDesktop >= 2
                             ? Provider::portal
                             : Provider::none;
    } else {
        plan.clipboard = xwayland;
    }
    return plan;
}

SessionPlan SessionPlan::withClipboardWithheld() const {
    SessionPlan plan = *this;
    plan.clipboard = Provider::none;
    plan.clipboardWithheld = true;
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
    case Provider::portal:
        return pick(language, "the desktop portal", "デスクトップポータル");
    case Provider::kwin:
        return pick(language, "a KWin script", "KWin スクリプト");
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

std::string clipboardWithheld(Language language) {
    return pick(language,
                "The desktop did not share its clipboard with Tamsel, so prompts are typed, "
                "never pasted.",
                "デスクトップがクリップボードを Tamsel と共有しなかったため、"
                "プロンプトは貼り付けずに入力します。");
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
    if (plan.trigger == Provider::portal) {
        lines.push_back(pick(language,
                             "The desktop holds the shortcuts (GlobalShortcuts portal): a "
                             "shortcut is taken in every application, and the desktop may ask "
                             "you to confirm them or change them in its own settings.",
                             "ショートカットはデスクトップが管理します（GlobalShortcuts "
                             "ポータル）。どのアプリでもショートカットが使われ、デスクトップが"
                             "確認を求めたり、設定で変更したりすることがあります。"));
    }
    if (plan.keyboard == Provider::portal) {
        lines.push_back(
            plan.keyboardConsentKept
                ? pick(language,
                       "The desktop asks once whether Tamsel may use the keyboard "
                       "(RemoteDesktop portal).",
                       "Tamsel がキーボードを使ってよいか、デスクトップが一度だけ"
                       "確認します（RemoteDesktop ポータル）。")
                : pick(language,
                       "The desktop asks at every start whether Tamsel may use the "
                       "keyboard: its RemoteDesktop portal cannot keep the answer.",
                       "起動のたびに、Tamsel がキーボードを使ってよいかデスクトップが"
                       "確認します（この RemoteDesktop ポータルは許可を保存できません）。"));
        lines.push_back(
            plan.clipboard == Provider::none
                ? pick(language,
                       "The desktop types only characters your keyboard layout has: a prompt "
                       "with others (Japanese on a Latin layout, emoji) is not typed at all.",
                       "デスクトップはキーボード配列にある文字しか入力できません。ほかの文字"
                       "（ラテン配列での日本語や絵文字）を含むプロンプトは入力しません。")
                : pick(language,
                       "The desktop types only characters your keyboard layout has: a prompt "
                       "with others (Japanese on a Latin layout, emoji) is pasted instead.",
                       "デスクトップはキーボード配列にある文字しか入力できません。ほかの文字"
                       "（ラテン配列での日本語や絵文字）を含むプロンプトは貼り付けます。"));
    }
    if (plan.clipboardWithheld) {
        lines.push_back(clipboardWithheld(language));
    } else if (plan.keyboard != Provider::none && plan.clipboard == Provider::none) {
        lines.push_back(pick(language,
                             "There is no clipboard Tamsel can use here, so prompts are typed, "
                             "never pasted.",
                             "ここでは Tamsel が使えるクリップボードがないため、プロンプトは"
                             "貼り付けずに入力します。"));
    }
    if (plan.frontmost == Provider::none && plan.trigger == Provider::portal) {
        lines.push_back(pick(language,
                             "The application in front cannot be known here, so the list of "
                             "target applications is not applied: shortcuts fire in every "
                             "application.",
                             "ここでは前面のアプリを知る方法がないため、対象アプリの設定は使わず、"
                             "どのアプリでもショートカットが発火します。"));
    } else if (plan.frontmost == Provider::none) {
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
