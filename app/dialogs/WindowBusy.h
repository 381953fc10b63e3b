#pragma once
// What the window's flows need from the window itself: one command at a
// time, with the controls locked while it runs, and whether the user has
// asked to quit meanwhile.

class WindowBusy {
public:
    virtual ~WindowBusy() = default;

    // True while a command runs (and for the whole of a build).
    virtual bool isBusy() const = 0;
    // Nests; the controls are locked from the first begin to the last end,
    // and a quit asked for meanwhile runs after the last end.
    virtual void beginBusy() = 0;
    virtual void endBusy() = 0;
    virtual bool quitPending() const = 0;
    // A command that Stop (the action, its toolbar button, Esc in the pane)
    // may end runs between these; endStoppable() says whether it was stopped.
    virtual void beginStoppable() = 0;
    virtual bool endStoppable() = 0;
};
