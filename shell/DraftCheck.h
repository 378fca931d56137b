#pragma once

// `tamsel --draft-check`: looks for a model server the way the Prompt Lab
// does and prints what it found, which model would draft and why. Exits 0
// when a model can draft, 1 otherwise.

#include <ostream>

namespace tamsel::DraftCheck {

int run(int argc, char** argv, std::ostream& out);

} // namespace tamsel::DraftCheck
