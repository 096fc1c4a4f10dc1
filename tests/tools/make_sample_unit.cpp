// Writes the bundled demo sample: a plain learning unit (version 9 unless asked otherwise) "sample.tav" and its companion
// folder "sample_contents/" (folders, literature with an attachment file, notes with a note
// package, labels, two web pages) into the folder given on the command line.
//
//   make_sample_unit <folder> [layout version, 1 to 16; default 9]
#include "builder/UnitBuilder.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>

int main(int argc, char** argv)
{
    const int version = argc == 3 ? std::atoi(argv[2]) : 9;
    if ((argc != 2 && argc != 3) || version < 1 || version > 16) {
        std::fprintf(stderr, "usage: %s <folder> [layout version 1-16]\n", argc > 0 ? argv[0] : "make_sample_unit");
        return 2;
    }
    try {
        const std::filesystem::path folder = argv[1];
        std::filesystem::create_directories(folder);
        const std::filesystem::path unit = folder / "sample.tav";
        // Replace an earlier sample whole, companion folder included.
        std::filesystem::remove_all(testkit::ContentsFolder(unit));
        testkit::UnitSpec spec = testkit::SampleSpec(version);
        spec.encrypted = false;
        testkit::BuildUnit(unit, spec);
        std::printf("%s\n", unit.string().c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_sample_unit: %s\n", e.what());
        return 1;
    }
}
