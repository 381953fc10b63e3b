#pragma once
// How the update manager reaches the user. The window shows the messages as
// information boxes and keeps painting while a network exchange runs;
// varbuild-cli prints them.

#include "kvutil/KVUtil.h"
#include "net/HttpGet.h"

#include <functional>

namespace Brask {

class UpdateInterface {
public:
    virtual ~UpdateInterface() = default;

    // Shows `text` to the user (the window: an information box "VarBuild").
    virtual void showMessage(const KVUtil::String& text) = 0;

    // Runs `call`, a blocking network exchange (or the install of what one
    // brought), and returns when it has finished. The window runs it off the
    // GUI thread and keeps painting, showing progress->task and the bytes
    // received, and setting progress->cancelled on Cancel or when it is
    // closing; the caller then starts no further step. `call` never calls
    // back into the interface or the executor.
    virtual void runNetworkCall(const std::function<void()>& call, HttpProgress* progress)
    {
        (void)progress;
        call();
    }
};

} // namespace Brask
