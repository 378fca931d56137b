// The shell tests need Qt's event loop for the local socket, and a peer of
// another user: this program run again under setpriv with --connect-as-peer.

#include <string>

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "tests/shell/PeerProbe.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == tamsel::testing::connectAsPeerOption) {
        return tamsel::testing::connectAndAskToShow(argv[2]);
    }
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
