// Prints the machine our PE reader finds in each file named, one line each,
// "PATH<TAB>NAME", for tests/dist/pe_machines.py to hold against pefile.
#include <cstdio>
#include <string>

#include "engine/version/module_machine.h"

namespace {

class FileBytes : public ModuleBytes {
public:
    explicit FileBytes(std::FILE* file) : m_file(file) {}
    bool ReadAt(uint64_t offset, size_t length, std::string* out) override {
        out->assign(length, '\0');
        if (std::fseek(m_file, static_cast<long>(offset), SEEK_SET) != 0) {
            out->clear();
            return true;  // past the end: nothing there
        }
        out->resize(std::fread(&(*out)[0], 1, length, m_file));
        return std::ferror(m_file) == 0;
    }

private:
    std::FILE* m_file;
};

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::FILE* file = std::fopen(argv[i], "rb");
        if (!file) {
            std::fprintf(stderr, "cannot open %s\n", argv[i]);
            status = 1;
            continue;
        }
        FileBytes bytes(file);
        bool readFailed = false;
        const std::string name = MachineName(ReadModuleMachine(bytes, &readFailed));
        std::fclose(file);
        std::printf("%s\t%s\n", argv[i], readFailed ? "unreadable" : name.c_str());
    }
    return status;
}
