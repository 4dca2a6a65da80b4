#include <cstdio>

#include "dry_run.hpp"
#include "srecord.hpp"
#include "transfer.hpp"

namespace tools {

namespace {
void WriteError() {
    std::fputs("Write Error !\n", stdout);
    std::fflush(stdout);
}
}  // namespace

int PrintFrames(const std::string& path) {
    quarveld::Image image;
    if (!quarveld::OpenImage(path, image)) {
        WriteError();
        std::fprintf(stderr, "%s: cannot be opened: %s\n", path.c_str(), image.error.c_str());
        return 2;
    }

    static const char digits[] = "0123456789ABCDEF";
    char text[3 * quarveld::LineBufferSize + 1];
    quarveld::FlashRecord record;
    while (quarveld::ReadNextRecord(image, record)) {
        if (record.kind == quarveld::RecordKind::End) {
            quarveld::CloseImage(image);
            if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
                std::fprintf(stderr, "the frames could not be written out\n");
                return 1;
            }
            return 0;
        }
        // Built in place over the line, as the writer does.
        const std::size_t length = quarveld::RecordFrame(record, image.line);
        std::size_t used = 0;
        for (std::size_t i = 0; i < length; ++i) {
            if (i > 0) text[used++] = ' ';
            text[used++] = digits[image.line[i] >> 4];
            text[used++] = digits[image.line[i] & 0x0F];
        }
        text[used++] = '\n';
        std::fwrite(text, 1, used, stdout);
    }

    const std::string why = quarveld::DescribeReadFailure(image);
    quarveld::CloseImage(image);
    WriteError();
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
}

}  // namespace tools
