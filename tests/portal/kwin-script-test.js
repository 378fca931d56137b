// Runs Tamsel's KWin script the way KWin would, with stand-ins for KWin's
// `workspace` and `callDBus`, as Plasma 6 and as Plasma 5, and checks the
// D-Bus calls it makes. Usage: node kwin-script-test.js SCRIPT
"use strict";

const assert = require("node:assert/strict");
const fs = require("node:fs");
const vm = require("node:vm");

const source = fs.readFileSync(process.argv[2], "utf8");
// Tamsel puts its unique bus name in before loading the script.
const service = ":1.42";
const script = source.replace("__TAMSEL_SERVICE__", service);
assert.notEqual(script, source, "the script has no placeholder for Tamsel's bus name");

function signal() {
    const handlers = [];
    return {
        connect(handler) { handlers.push(handler); },
        emit(...values) { handlers.forEach((handler) => handler(...values)); },
        count() { return handlers.length; },
    };
}

function run(workspace) {
    const calls = [];
    const context = {
        workspace,
        callDBus : (...args) => calls.push(args),
    };
    vm.runInNewContext(script, context, {filename : "tamsel-active-window.js"});
    return calls;
}

function expectReport(call, resourceClass) {
    assert.deepEqual(call, [
        service, "/io/tamsel/Tamsel/KWin", "io.tamsel.Tamsel.KWin", "activeWindowChanged",
        resourceClass, call[5]
    ]);
    assert.equal(typeof call[4], "string");
    assert.equal(typeof call[5], "string");
}

const tests = {
    "Plasma 6: reports the window in front at once and each activation after" : () => {
        const windowActivated = signal();
        const calls =
            run({windowActivated, activeWindow : {resourceClass : "konsole", caption : "~"}});
        assert.equal(windowActivated.count(), 1);
        assert.equal(calls.length, 1);
        expectReport(calls[0], "konsole");
        windowActivated.emit({resourceClass : "org.kde.kate", caption : "notes.md"});
        expectReport(calls[1], "org.kde.kate");
        assert.equal(calls[1][5], "notes.md");
        // The desktop itself in front: no window.
        windowActivated.emit(null);
        expectReport(calls[2], "");
        assert.equal(calls.length, 3);
    },
    "Plasma 5: uses clientActivated and the class given as bytes" : () => {
        const clientActivated = signal();
        const bytes = {toString : () => "foot"}; // a QByteArray reaches scripts as an object
        const calls = run({clientActivated, activeClient : null});
        assert.equal(clientActivated.count(), 1);
        expectReport(calls[0], "");
        clientActivated.emit({resourceClass : bytes, caption : "foot"});
        expectReport(calls[1], "foot");
    },
    "a window without a class is reported as none, never as 'undefined'" : () => {
        const windowActivated = signal();
        const calls = run({windowActivated, activeWindow : {}});
        expectReport(calls[0], "");
        assert.equal(calls[0][5], "");
    },
};

let failed = 0;
for (const [name, test] of Object.entries(tests)) {
    try {
        test();
        console.log(`ok   ${name}`);
    } catch (error) {
        failed += 1;
        console.log(`FAIL ${name}\n${error.stack}`);
    }
}
process.exit(failed === 0 ? 0 : 1);
