// qstdio.h after the standard and GoogleTest headers (streams_test.cpp has it
// first): its redirects take over the unqualified names in program code while
// iostreams, which never go through them, read and write the same files.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../support/fixture.h"
#include "qstdio.h"

namespace {

TEST(StreamsAfterStandardHeaders, RedirectsAndIostreamsShareFiles) {
    qtest::TempDir dir;
    std::string path = dir.Sub("mixed.txt");
    std::unique_ptr<FILE, int (*)(FILE*)> f(fopen(path.c_str(), "w"),
                                            [](FILE* s) { return fclose(s); });
    ASSERT_NE(f, nullptr);
    // The layer's conventions: %I64d reads 64 bits, %ls a 16-bit string.
    EXPECT_EQ(fprintf(f.get(), "%I64d %ls\r\n", int64_t{1} << 40, u"wide"), 20);
    EXPECT_EQ(fwprintf(f.get(), u"%s\r\n", u"\u00e9"), 3);
    f.reset();

    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    EXPECT_EQ(all.str(), "1099511627776 wide\r\n\xC3\xA9\r\n");

    std::vector<std::string> lines;
    std::unique_ptr<FILE, int (*)(FILE*)> r(fopen(path.c_str(), "r"),
                                            [](FILE* s) { return fclose(s); });
    ASSERT_NE(r, nullptr);
    char buf[64];
    while (fgets(buf, sizeof buf, r.get()) != nullptr)
        lines.push_back(buf);
    EXPECT_EQ(lines, (std::vector<std::string>{"1099511627776 wide\n", "\xC3\xA9\n"}));
}

} // namespace
