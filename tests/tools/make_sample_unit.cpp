// Writes the bundled demo sample, the plain learning unit "sample.tav" (layout version 9) and its
// companion folder, into the folder given: make_sample_unit <folder>
#include "builder/UnitBuilder.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_unit <folder>\n");
        return 2;
    }
    try {
        const std::filesystem::path unit = std::filesystem::path(argv[1]) / "sample.tav";
        std::filesystem::create_directories(unit.parent_path());
        std::filesystem::remove_all(testkit::ContentsFolder(unit)); // an earlier sample goes whole
        testkit::BuildUnit(unit, testkit::SampleSpec(9));
        std::printf("%s\n", unit.string().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_sample_unit: %s\n", e.what());
        return 1;
    }
}
