// Loaded into KWin by Tamsel: tells Tamsel which application is in front,
// since a Wayland client cannot see other windows. Tamsel writes its own bus
// name over the placeholder below before loading the script.
"use strict";

const tamselService = "__TAMSEL_SERVICE__";
const tamselPath = "/io/tamsel/Tamsel/KWin";
const tamselInterface = "io.tamsel.Tamsel.KWin";

function tamselReport(window) {
    // KWin 5.27 gives the class as text, older Plasma 5 releases as bytes;
    // String() makes text of either.
    const resourceClass = window && window.resourceClass ? String(window.resourceClass) : "";
    const caption = window && window.caption ? String(window.caption) : "";
    callDBus(tamselService, tamselPath, tamselInterface, "activeWindowChanged", resourceClass,
             caption);
}

if (workspace.windowActivated) {
    // Plasma 6.
    workspace.windowActivated.connect(tamselReport);
    tamselReport(workspace.activeWindow);
} else {
    // Plasma 5.
    workspace.clientActivated.connect(tamselReport);
    tamselReport(workspace.activeClient);
}
