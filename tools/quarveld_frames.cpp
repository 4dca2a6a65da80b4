// quarveld-frames IMAGE: prints every frame the flash writer would send for
// IMAGE, one line per frame in send order, without a printer. It runs the
// writer's own reader and frame code.
//
// Exit status: 0 when the termination record is reached, 1 when a line of the
// image is refused or the image ends too early, 2 when the image cannot be
// opened (or the arguments are wrong).
#include <cstdio>
#include <string>

#include "srecord.hpp"
#include "transfer.hpp"

namespace {

// What the writer shows for every failed run.
void WriteError() {
    std::fputs("Write Error !\n", stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quarveld-frames IMAGE\n");
        return 2;
    }
    const std::string path = argv[1];

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
                std::fprintf(stderr, "quarveld-frames: the frames could not be written out\n");
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
