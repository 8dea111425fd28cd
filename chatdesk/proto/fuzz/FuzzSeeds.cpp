// Writes the seed inputs of one fuzz target into a folder: messages made by the builders.
//   chatdesk_fuzz_seeds <target> <folder>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ImCodes.h"
#include "ImMessages.h"
#include "Samples.h"

using namespace chatdesk;

namespace {

bool Write(const std::string& folder, int index, const ImBytes& bytes) {
    std::string path = folder + "/seed" + std::to_string(index);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string CodeOf(const ImBytes& msg) { return std::string(reinterpret_cast<const char*>(msg.data() + 60), 4); }

// The messages a reader target starts from, by the code it reads.
const char* CodeOfTarget(const std::string& target) {
    static const struct {
        const char* target;
        const char* code;
    } kTargets[] = {
        {"read_login", "001S"}, {"read_login_reply", "001B"}, {"read_peer_link_request", "002S"},
        {"read_peer_link_reply", "002B"}, {"read_chat_text", "003S"}, {"read_chat_text_receipt", "003B"},
        {"read_offline_message", "014S"}, {"read_offline_store_reply", "014B"}, {"read_offline_fetch", "015S"},
        {"read_file_offer", "004S"}, {"read_file_offer_reply", "004B"}, {"read_file_block", "005S"},
        {"read_file_block_ack", "005B"}, {"read_typing_notice", "012S"}, {"read_file_cancel", "020S"},
    };
    for (const auto& t : kTargets) {
        if (target == t.target) return t.code;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: chatdesk_fuzz_seeds <target> <folder>\n");
        return 2;
    }
    std::string target = argv[1], folder = argv[2];
    std::vector<ImBytes> messages = SampleMessages();
    messages.push_back(BuildChatText(SampleText(false, std::string(800, 'x'))));
    messages.push_back(BuildChatText(SampleText(true, "")));
    // Stored messages as dispatch sees them: at their stored length.
    for (ImBytes& msg : messages) {
        if (CodeOf(msg) == "015B") msg.resize(msg.size() + 2, 0);
    }

    std::vector<ImBytes> seeds;
    if (target == "framer") {
        ImBytes stream;
        for (const ImBytes& msg : messages) {
            if (CodeOf(msg) == "001S") continue;  // only a server reads a whole login
            if (CodeOf(msg) == "015B") {
                stream.insert(stream.end(), msg.begin(), msg.end() - 2);
            } else {
                stream.insert(stream.end(), msg.begin(), msg.end());
            }
        }
        stream.insert(stream.begin(), 7);
        seeds.push_back(stream);
        for (const ImBytes& msg : messages) {
            ImBytes one(msg);
            one.insert(one.begin(), 0x40);
            seeds.push_back(one);
        }
    } else if (target == "dispatch") {
        for (uint8_t flags : {0, 1, 2, 4, 6}) {
            for (const ImBytes& msg : messages) {
                ImBytes one(msg);
                one.insert(one.begin(), flags);
                seeds.push_back(one);
            }
        }
    } else if (const char* code = CodeOfTarget(target)) {
        for (const ImBytes& msg : messages) {
            std::string c = CodeOf(msg);
            if (c == code || (std::strcmp(code, "014S") == 0 && c == "015B")) seeds.push_back(msg);
        }
    } else {
        std::fprintf(stderr, "unknown fuzz target %s\n", target.c_str());
        return 2;
    }
    for (size_t i = 0; i < seeds.size(); ++i) {
        if (!Write(folder, static_cast<int>(i), seeds[i])) {
            std::fprintf(stderr, "cannot write into %s\n", folder.c_str());
            return 1;
        }
    }
    return seeds.empty() ? 1 : 0;
}
