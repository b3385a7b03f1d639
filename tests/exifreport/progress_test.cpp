// The progress line of a long run: on a terminal only, never in a pipe or a
// file, never in the way of the reports or the complaints.
#include "exifreport_fixture.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>

namespace {

using namespace exifreport_test;
using namespace testsupport;

constexpr int kPhotos = 120;  // more than the hundred a line waits for

class ProgressTest : public ExifReportTest {
protected:
    void SetUp() override {
        ExifReportTest::SetUp();
        int master = -1, slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            GTEST_SKIP() << "no pseudo-terminals here";
        ::close(master);
        ::close(slave);
        const std::vector<std::uint8_t> photo = Jpeg(BuildTiff(CameraSpec(false)).bytes);
        for (int i = 1; i <= kPhotos; ++i)
            photos_.push_back(Write("many/IMG_" + std::to_string(i) + ".jpg", photo));
    }

    // Runs exifreport with standard error on a pseudo-terminal (and standard
    // output too when `stdoutToo`), else standard output into a file. Returns
    // what the terminal showed; `out` gets the file.
    std::string OnTerminal(const std::vector<std::string>& args, bool stdoutToo, std::string& out) {
        int master = -1, slave = -1;
        winsize size{};
        size.ws_row = 24;
        size.ws_col = 250;  // room for the test's long folder names
        if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return {};
        }
        // Bytes as written: no LF turned into CR LF on the way.
        termios mode{};
        ::tcgetattr(slave, &mode);
        mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        ::tcsetattr(slave, TCSANOW, &mode);
        const std::string outFile = dir_.string() + ".pty-stdout";
        const pid_t child = ::fork();
        if (child == 0) {
            const int file = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(stdoutToo ? slave : file, STDOUT_FILENO);
            ::dup2(slave, STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>(EXIFREPORT_PATH)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(EXIFREPORT_PATH, argv.data());
            ::_exit(127);
        }
        ::close(slave);
        std::string shown;
        char chunk[4096];
        ssize_t n;
        // Reading ends with EIO once the child has closed its side.
        while ((n = ::read(master, chunk, sizeof chunk)) > 0)
            shown.append(chunk, static_cast<std::size_t>(n));
        ::close(master);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << status;
        out = Slurp(outFile);
        fs::remove(outFile);
        return shown;
    }

    std::vector<std::string> photos_;
};

TEST_F(ProgressTest, OnATerminalTheLineComesAndGoes) {
    const std::string folder = (dir_ / "many").string();
    const ProcessResult piped = Exec({"-r", folder});
    EXPECT_EQ(piped.err, "");  // never in a file

    std::string out;
    const std::string shown = OnTerminal({"-r", folder}, false, out);
    EXPECT_EQ(out, piped.out);
    EXPECT_EQ(shown.rfind("\r\x1b[Kexifreport: 101 photos  " + folder, 0), 0u) << shown;
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(shown.substr(shown.size() - 4), "\r\x1b[K");
    EXPECT_EQ(shown.find('\n'), std::string::npos);
}

TEST_F(ProgressTest, ACountOfNamedFilesAndComplaintsOnAClearLine) {
    std::vector<std::string> args = photos_;
    const std::string text = Write("notes.txt", {'n', 'o'});
    args.insert(args.begin() + 50, text);
    std::string out;
    const std::string shown = OnTerminal(args, false, out);
    const std::string total = std::to_string(kPhotos + 1);
    EXPECT_EQ(
        shown.rfind("\r\x1b[Kexifreport: 1/" + total + " photos  " + (dir_ / "many").string(), 0),
        0u)
        << shown;
    EXPECT_NE(shown.find("\r\x1b[Kexifreport: " + text + ": not a JPEG"), std::string::npos)
        << shown;
    EXPECT_EQ(shown.substr(shown.size() - 4), "\r\x1b[K");
}

// A photo's texts may carry a terminal's escape codes: on a terminal they are
// shown escaped, in a file they are kept byte for byte.
TEST_F(ProgressTest, ReportsOnATerminalCannotSteerIt) {
    TiffSpec spec;
    spec.ifd0.fields = {Ascii(0x010F, "Evil\x1b]0;owned\x07\x1b[2J"), Ascii(0x0110, "C:\\cam\tX")};
    const std::string photo = Write("evil.tif", BuildTiff(spec).bytes);
    std::string out;
    const std::string shown = OnTerminal({photo}, true, out);
    EXPECT_EQ(shown.find('\x1b'), std::string::npos);
    EXPECT_NE(shown.find("厂商Evil\\x1b]0;owned\\x07\\x1b[2J\r\n型号C:\\cam\tX\r\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(Exec({photo}).out.find("厂商Evil\x1b]0;owned\x07\x1b[2J\r\n"), std::string::npos);
}

// With the reports on the same terminal, a progress line would be mixed into them.
TEST_F(ProgressTest, NotWhenTheReportsGoToTheTerminalToo) {
    std::string out;
    const std::string shown = OnTerminal({"-r", (dir_ / "many").string()}, true, out);
    EXPECT_EQ(shown.find("\x1b[K"), std::string::npos);
    EXPECT_NE(shown.find("图像：IMG_120.jpg"), std::string::npos);
}

}  // namespace
