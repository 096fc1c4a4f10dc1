// Writes the bundled demo sample: the plain learning unit <folder>/sample.tav (layout version 9
// unless another is asked for, so that an old unit can be tried) and its companion folder. With a
// literature count it writes a bulk unit instead (twice as many notes), one that keeps an import
// busy for a while, for the checks of the dialog on a real display.
#include "builder/UnitBuilder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const int version = argc >= 3 ? std::atoi(argv[2]) : 9;
    const int literature = argc == 4 ? std::atoi(argv[3]) : 0;
    if (argc < 2 || argc > 4 || version < 1 || version > testkit::kNewestVersion || literature < 0) {
        std::fprintf(stderr, "usage: make_sample_unit <folder> [version 1-16 [literature count]]\n");
        return 2;
    }
    try {
        const std::filesystem::path unit = std::filesystem::path(argv[1]) / "sample.tav";
        std::filesystem::remove_all(testkit::ContentsFolder(unit));  // an earlier sample goes whole
        testkit::BuildUnit(unit, literature > 0 ? testkit::BulkSpec(version, literature, 2 * literature,
                                                                   std::max(1, literature / 20), 2)
                                                : testkit::SampleSpec(version));
        std::printf("%s\n", unit.string().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_sample_unit: %s\n", e.what());
        return 1;
    }
}
