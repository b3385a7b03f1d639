// make_reply_seeds DIR: writes the reply fuzzer's seeds into DIR: each
// crafted reply of the tests (sound and malformed), its first byte the plan
// of descriptors that goes with it.
#include "malformed_replies.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_reply_seeds DIR\n", stderr);
        return 2;
    }
    int written = 0;
    for (const sandboxtest::ReplyCase& replyCase : sandboxtest::replyCases()) {
        const sandboxtest::Crafted crafted = replyCase.craft({41, 64, 48, -1});
        // The plan byte: how many memory files, and the first one's seals.
        std::uint8_t plan = static_cast<std::uint8_t>(crafted.sent.size() & 0x07);
        if (!crafted.owned.empty()) {
            const int seals = ::fcntl(crafted.owned.front().get(), F_GET_SEALS);
            const int bits[] = {F_SEAL_SEAL, F_SEAL_SHRINK, F_SEAL_GROW, F_SEAL_WRITE};
            for (int i = 0; i < 4; ++i)
                if (seals > 0 && (seals & bits[i])) plan |= static_cast<std::uint8_t>(0x10 << i);
        }
        if (std::string(replyCase.name).find("beyond the memory file") != std::string::npos)
            plan |= 0x08;
        std::string name = std::string(argv[1]) + "/seed_" + std::to_string(written++);
        std::FILE* file = std::fopen(name.c_str(), "wb");
        if (!file) return 1;
        std::fputc(plan, file);
        std::fwrite(crafted.bytes.data(), 1, crafted.bytes.size(), file);
        std::fclose(file);
    }
    std::printf("%d seeds\n", written);
    return 0;
}
