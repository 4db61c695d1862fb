// Saving a file all at once (schedule files, the names file, define.ini,
// CSV exports) onto a symbolic link: the user's own links are followed, a
// link another user may have planted - in a sticky folder such as /tmp, say
// - is not, and what it points to stays as it was.

#include "platform/file_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing_support::TempFolder;
using testing_support::readBytes;
using testing_support::writeBytes;

// Another user: nobody.
constexpr uid_t kOtherUser = 65534;
constexpr gid_t kOtherGroup = 65534;

// The folders of one case under `root`: home/ (the user's own, holding the
// file a link points to), own/ (the user's own, 0755) and sticky/ (mode
// 1777, like /tmp).
struct Layout {
    explicit Layout(const fs::path& root) : home(root / "home"), own(root / "own"), sticky(root / "sticky") {
        fs::create_directories(home);
        fs::create_directories(own);
        fs::create_directories(sticky);
        ::chmod(sticky.c_str(), 01777);
        writeBytes(home / "victim", "precious\n");
    }
    fs::path home, own, sticky;
};

void ownBy(const fs::path& p, uid_t uid) {
    // lchown: the link itself, never what it points to.
    ASSERT_EQ(::lchown(p.c_str(), uid, kOtherGroup), 0) << p;
}

std::set<std::string> entriesOf(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

TEST(SaveFileAtomically, ReplacesAFileWholeAndLeavesNoTemporaryFile) {
    TempFolder folder;
    const fs::path file = folder / "a.pwr";
    ASSERT_EQ(saveFileAtomically(file, "one\n").status, FileIoStatus::ok);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    const FileSave saved = saveFileAtomically(file, "two\n");
    ASSERT_EQ(saved.status, FileIoStatus::ok) << saved.error;
    EXPECT_EQ(readBytes(file), "two\n");
    struct stat st {};
    ASSERT_EQ(::lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the permission bits are kept";
    EXPECT_EQ(folder.entries(), std::set<std::string>{"a.pwr"});
    EXPECT_EQ(saveFileAtomically(folder / "no-such-folder" / "a.pwr", "x").status, FileIoStatus::failed);
}

// The user's own links: followed - the link stays, what it points to gets
// the new contents (a link as the final name, in the user's folder or in
// a sticky one; relative or absolute; a chain; one whose file is not there
// yet).
TEST(SaveFileAtomically, TheUsersOwnLinksAreFollowed) {
    const struct {
        const char* what;
        const char* folder;  // where the link is: "own" or "sticky"
        bool relative;
        bool chain;          // a link to a link (both the user's) to the file
        bool dangling;       // the file is not there yet
    } cases[] = {
        {"own link in own folder", "own", false, false, false},
        {"own relative link in own folder", "own", true, false, false},
        {"own link in a sticky folder", "sticky", false, false, false},
        {"own chain of links", "own", false, true, false},
        {"own link to a file not there yet", "own", true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder root;
        const Layout l(root.path());
        const fs::path target = l.home / (c.dangling ? "new.pwr" : "victim");
        const fs::path folder = root.path() / c.folder;
        const fs::path link = folder / "schedule.pwr";
        fs::path pointsTo = c.relative ? fs::path("..") / "home" / target.filename() : target;
        if (c.chain) {
            fs::create_symlink(pointsTo, l.own / "middle");
            pointsTo = l.own / "middle";
        }
        fs::create_symlink(pointsTo, link);

        const FileSave saved = saveFileAtomically(link, "new contents\n");
        ASSERT_EQ(saved.status, FileIoStatus::ok) << saved.error;
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link))) << "the link was replaced";
        EXPECT_EQ(fs::read_symlink(link), pointsTo);
        EXPECT_EQ(readBytes(target), "new contents\n");
        std::set<std::string> home{"victim"};
        home.insert(target.filename().string());
        EXPECT_EQ(entriesOf(l.home), home) << "a temporary file was left";
    }
}

// Links another user may have planted: not followed, the reason given, and
// neither the link nor what it points to changed. Making files of another
// user's needs root (as in CI).
TEST(SaveFileAtomically, LinksOfOtherUsersAreNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "making a link of another user's (chown) needs root";
    const struct {
        const char* what;
        const char* folder;   // where the link is: "own" or "sticky"
        uid_t linkOwner;      // 0: root (this user)
        uid_t folderOwner;
        bool chain;           // the user's own link (in own/) leads to the planted one
        const char* says;
    } cases[] = {
        {"another user's link in a sticky folder", "sticky", kOtherUser, 0, false,
         "is a symbolic link in a folder other users may write to"},
        {"another user's link reached through the user's own", "sticky", kOtherUser, 0, true,
         "is a symbolic link in a folder other users may write to"},
        {"another user's link in the user's folder", "own", kOtherUser, 0, false, "another user's"},
        {"the user's link in a sticky folder of another user", "sticky", 0, kOtherUser, false,
         "in a folder of another user's"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder root;
        const Layout l(root.path());
        const fs::path folder = root.path() / c.folder;
        const fs::path planted = folder / "schedule.pwr";
        const fs::path target = l.home / "victim";
        fs::create_symlink(target, planted);
        ownBy(planted, c.linkOwner);
        if (c.folderOwner != 0) ownBy(folder, c.folderOwner);
        const fs::path saveAs = c.chain ? l.own / "mine.pwr" : planted;
        if (c.chain) fs::create_symlink(planted, saveAs);

        const FileSave saved = saveFileAtomically(saveAs, "attacker's wish\n");
        EXPECT_EQ(saved.status, FileIoStatus::failed);
        EXPECT_NE(saved.error.find(c.says), std::string::npos) << saved.error;
        EXPECT_NE(saved.error.find(planted.string()), std::string::npos) << "names the link: " << saved.error;
        EXPECT_NE(saved.error.find("not following it"), std::string::npos) << saved.error;
        EXPECT_EQ(readBytes(target), "precious\n") << "the link's target was replaced";
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(planted)));
        EXPECT_EQ(fs::read_symlink(planted), target);
        EXPECT_EQ(entriesOf(folder), std::set<std::string>{"schedule.pwr"}) << "a temporary file was left";
        EXPECT_EQ(entriesOf(l.home), std::set<std::string>{"victim"}) << "a temporary file was left";
    }
}

}  // namespace
}  // namespace velmora
