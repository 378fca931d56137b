#pragma once

// The `tamsel --fire` side of the handing over: finds the running Tamsel of
// this user and session, sends it the firing and says what it answered.

#include <ostream>
#include <string>

#include "app/FireCommand.h"

namespace tamsel::FireClient {

// How long the running instance may take to answer: it decides at once and
// types afterwards, so this only covers a busy event loop.
inline constexpr int answerTimeoutMS = 3000;

// How a command line should name this program: "tamsel" where the PATH
// leads to the running file, its full path otherwise.
std::string programForCommands();

// Returns the exit status (see FireCommand); says on `error` why nothing fired.
int run(const FireRequest& request, std::ostream& error);

} // namespace tamsel::FireClient
