// Writes the bundled demo sample: a plain version-9 learning unit "sample.tav" and its companion
// folder "sample_contents/" (folders, literature with an attachment file, notes with a note
// package, labels, two web pages) into the folder given on the command line.
//
//   make_sample_unit <folder>
#include "builder/UnitBuilder.h"

#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argc > 0 ? argv[0] : "make_sample_unit");
        return 2;
    }
    try {
        const std::filesystem::path folder = argv[1];
        std::filesystem::create_directories(folder);
        const std::filesystem::path unit = folder / "sample.tav";
        // Replace an earlier sample whole, companion folder included.
        std::filesystem::remove_all(testkit::ContentsFolder(unit));
        testkit::UnitSpec spec = testkit::SampleSpec(9);
        spec.encrypted = false;
        testkit::BuildUnit(unit, spec);
        std::printf("%s\n", unit.string().c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_sample_unit: %s\n", e.what());
        return 1;
    }
}
