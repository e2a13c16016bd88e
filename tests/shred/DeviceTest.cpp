// Proof on a real file system that the data is gone from the device, not
// only from the name space: a loop-mounted ext4 image is searched byte by
// byte for the content of shredded files.
#include "shred/Shredder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Counts the places where `marker` occurs in the file at `path`.
size_t Occurrences(const std::string& path, const std::string& marker)
{
    std::ifstream in(path, std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t count = 0;
    for (size_t at = image.find(marker); at != std::string::npos; at = image.find(marker, at + 1)) {
        ++count;
    }
    return count;
}

} // namespace

TEST(Device, ShreddedContentIsGoneFromTheRawImage)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a loop image needs root; run the suite as root (as CI does)";
    }
    TempDir dir;
    const std::string image = dir / "fs.img";
    const std::string mount = dir / "mnt";
    MakeDir(mount);
    ASSERT_TRUE(Shell("truncate -s 32M '" + image + "'"));
    ASSERT_TRUE(Shell("mkfs.ext4 -q -F '" + image + "'"));
    if (!Shell("mount -o loop '" + image + "' '" + mount + "'")) {
        GTEST_SKIP() << "this machine cannot loop-mount an image (no loop device in a sandbox?)";
    }

    // The marker is built at run time so that it is not in this binary.
    std::string marker = "VORN-MARKER-";
    for (int i = 0; i < 8; ++i) {
        marker += static_cast<char>('A' + (i * 7) % 26);
    }
    std::string content;
    while (content.size() < 300000) {
        content += marker + " ";
    }
    MakeDir(mount + "/folder");
    WriteFile(mount + "/single.txt", content.substr(0, 1500));
    WriteFile(mount + "/folder/big.bin", content);
    WriteFile(mount + "/folder/small", marker);
    WriteFile(mount + "/quick.txt", content.substr(0, 5000));
    ::sync();

    EXPECT_TRUE(ShredPath(wxString::FromUTF8((mount + "/single.txt").c_str()), false).Complete());
    EXPECT_TRUE(ShredPath(wxString::FromUTF8((mount + "/folder").c_str()), false).Complete());
    EXPECT_TRUE(ShredPath(wxString::FromUTF8((mount + "/quick.txt").c_str()), true).Complete());
    EXPECT_TRUE(ListNames(mount + "/folder").empty());

    ASSERT_TRUE(Shell("umount '" + mount + "'"));
    EXPECT_EQ(0u, Occurrences(image, marker));
}
