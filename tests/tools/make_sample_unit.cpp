// Writes the bundled demo sample: the plain learning unit <folder>/sample.tav (layout version 9
// unless another is asked for, so that an old unit can be tried) and its companion folder.
#include "builder/UnitBuilder.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const int version = argc == 3 ? std::atoi(argv[2]) : 9;
    if (argc < 2 || argc > 3 || version < 1 || version > testkit::kNewestVersion) {
        std::fprintf(stderr, "usage: make_sample_unit <folder> [version 1-16]\n");
        return 2;
    }
    try {
        const std::filesystem::path unit = std::filesystem::path(argv[1]) / "sample.tav";
        std::filesystem::remove_all(testkit::ContentsFolder(unit));  // an earlier sample goes whole
        testkit::BuildUnit(unit, testkit::SampleSpec(version));
        std::printf("%s\n", unit.string().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_sample_unit: %s\n", e.what());
        return 1;
    }
}
