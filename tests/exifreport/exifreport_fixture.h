// Runs the exifreport program as a user would, in a folder of its own, and
// collects its output, its complaints and its exit status.
#pragma once

#include "exif/metadata_list.h"
#include "exif/report.h"
#include "reader/property_items.h"
#include "shell_quote.h"
#include "temp_folder.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace exifreport_test {

namespace fs = std::filesystem;

struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The lines of a text, without their line ends (LF or CR LF).
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The metadata list the viewer builds for this photo.
inline exif::MetadataList ListOf(const std::string& path) {
    exif::MetadataList list;
    list.SetPhoto(path);
    reader::PropertyImage image = reader::PropertyImage::Open(reader::FileSource(path));
    list.LoadMetadata(&image);
    return list;
}

class ExifReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = testsupport::MakeTempFolder(std::string("exifreport-test-") + test->name() + "-");
    }
    void TearDown() override {
        // Folders a test locked must be opened again before they can be removed.
        for (const auto& entry :
             fs::recursive_directory_iterator(dir_, fs::directory_options::skip_permission_denied))
            if (entry.is_directory() && !entry.is_symlink())
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }

    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const fs::path path = dir_ / name;
        fs::create_directories(path.parent_path());
        EXPECT_TRUE(testsupport::WriteFile(path.string(), bytes));
        return path.string();
    }

    // `asUser`: without root's permission override, so file modes count.
    ProcessResult Exec(const std::vector<std::string>& args, bool asUser = false) {
        using testsupport::ShellQuote;
        std::string command = ShellQuote(EXIFREPORT_PATH);
        if (asUser && ::geteuid() == 0)
            command = "setpriv --bounding-set=-dac_override,-dac_read_search " + command;
        for (const auto& a : args) command.append(" ").append(ShellQuote(a));
        const fs::path out = dir_.string() + ".stdout", err = dir_.string() + ".stderr";
        command.append(" >")
            .append(ShellQuote(out.string()))
            .append(" 2>")
            .append(ShellQuote(err.string()));
        ProcessResult run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = Slurp(out);
        run.err = Slurp(err);
        fs::remove(out);
        fs::remove(err);
        return run;
    }

    // The report the viewer's save command writes for this photo.
    static std::string Expected(const std::string& path) { return exif::BuildReport(ListOf(path)); }

    fs::path dir_;
};

}  // namespace exifreport_test
