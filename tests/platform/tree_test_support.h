// Tests over generated trees: one tree per test suite (made once), a drive
// map with C: on "/" and F: on the tree, and helpers between the tree's
// relative byte paths and Windows paths.
#pragma once

#include "posix/drive_fixture.h"
#include "qposix_path.h"
#include "tree_fixture.h"

#include <memory>
#include <string>

template <int Dirs, int Files>
class GeneratedTreeTest : public DriveMapTest {
  protected:
    static void SetUpTestSuite() {
        holder_ = std::make_unique<qtest::TempDir>();
        qtest::TreeSpec spec;
        spec.seed = 19;
        spec.directories = Dirs;
        spec.files = Files;
        const std::string root = holder_->MakeDir("tree");
        // The generator wants an empty root of its own.
        ::rmdir(root.c_str());
        ::mkdir(root.c_str(), 0755);
        manifest_ = std::make_unique<qtest::Manifest>(qtest::GenerateTree(root, spec));
        holder_->OpenToAll();
    }
    static void TearDownTestSuite() {
        manifest_.reset();
        holder_.reset();
    }
    void SetUp() override {
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        qtest::WriteFixtureDrives(dir.path(), 'F', manifest_->root);
    }
    // The Windows path of a relative path of the tree.
    static std::u16string W(const std::string& rel) {
        WCHAR out[8192];
        const std::string full = rel.empty() ? manifest_->root : manifest_->root + "/" + rel;
        EXPECT_GE(PathFromPosix(full.c_str(), out, 8192), 0) << rel;
        return out;
    }
    // A name as bytes again.
    static std::string Bytes(const WCHAR* name) {
        char out[1024];
        EXPECT_GE(Utf16ToUtf8(name, -1, out, sizeof out), 0);
        return out;
    }
    static const qtest::Manifest& M() { return *manifest_; }
    static std::string Root() { return manifest_->root; }

    static inline std::unique_ptr<qtest::TempDir> holder_;
    static inline std::unique_ptr<qtest::Manifest> manifest_;
};
