#include "app/shell/UISnapshot.h"

#include <iostream>

namespace tamsel::UISnapshot {

int run(const std::string&, int, char**) {
    std::cerr << "tamsel: --render-ui is not available yet: the user interface has not landed.\n";
    return 1;
}

} // namespace tamsel::UISnapshot
