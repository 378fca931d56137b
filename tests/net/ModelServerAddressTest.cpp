#include "platform/net/ModelServerAddress.h"

#include <gtest/gtest.h>

using namespace tamsel;
using namespace tamsel::ModelServerAddresses;

TEST(ModelServerAddress, UserURLsAreReadStrictly) {
    struct Case {
        const char* text;
        const char* baseURL; // empty when refused
    };
    const Case cases[] = {
        {"http://127.0.0.1:11434", "http://127.0.0.1:11434"},
        {"  http://localhost:8080/  ", "http://localhost:8080"},
        {"https://LOCALHOST", "https://localhost:443"},
        {"http://[::1]:1234", "http://[::1]:1234"},
        {"http://127.0.0.1", "http://127.0.0.1:80"},
        {"127.0.0.1:11434", ""},                 // no scheme: a path, not a host
        {"ftp://127.0.0.1:21", ""},
        {"http://127.0.0.1:11434/v1", ""},       // the paths are ours to add
        {"http://user:pw@127.0.0.1:11434", ""},  // credentials would be sent along
        {"http://127.0.0.1:11434/?x=1", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        auto parsed = parseURL(c.text);
        if (c.baseURL[0] == '\0') {
            EXPECT_FALSE(parsed.address) << c.text;
            EXPECT_FALSE(parsed.error.empty()) << c.text;
        } else {
            ASSERT_TRUE(parsed.address) << c.text << ": " << parsed.error;
            EXPECT_EQ(parsed.address->baseURL(), c.baseURL) << c.text;
        }
    }
}

TEST(ModelServerAddress, OllamaHostFollowsTheServersOwnReading) {
    struct Case {
        const char* text;
        const char* baseURL;
    };
    const Case cases[] = {
        {"127.0.0.1:11500", "http://127.0.0.1:11500"},
        {"0.0.0.0", "http://127.0.0.1:11434"}, // listening everywhere: reach it here
        {"0.0.0.0:9000", "http://127.0.0.1:9000"},
        {"[::]:9000", "http://127.0.0.1:9000"},
        {"https://localhost", "https://localhost:11434"},
        {"example.internal:11434", "http://example.internal:11434"},
    };
    for (const Case& c : cases) {
        auto address = parseOllamaHost(c.text);
        ASSERT_TRUE(address) << c.text;
        EXPECT_EQ(address->baseURL(), c.baseURL) << c.text;
    }
    EXPECT_FALSE(parseOllamaHost(""));
    EXPECT_FALSE(parseOllamaHost("ftp://127.0.0.1"));
}

TEST(ModelServerAddress, OnlyLoopbackIsThisComputer) {
    for (const char* host : {"127.0.0.1", "127.3.4.5", "::1", "localhost", "api.localhost"}) {
        EXPECT_TRUE(isLoopbackHost(host)) << host;
    }
    for (const char* host : {"192.168.1.10", "10.0.0.1", "0.0.0.0", "example.com",
                             "localhost.example.com", "128.0.0.1", "::ffff:8.8.8.8"}) {
        EXPECT_FALSE(isLoopbackHost(host)) << host;
    }
}
