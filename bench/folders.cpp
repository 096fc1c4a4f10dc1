// Reading a unit of many folders: the folder records with their subfolder and literature counts
// (FillLiteratureFolder), and every folder below the root (GetAllSubCategoryIds), for 100,000
// folders side by side and for 100,000 nested in one chain, every folder holding one literature.
// Target: seconds, not minutes (a count statement per folder took 51 s for 20,000 folders).
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/TextConvert.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 100000;

const fs::path& Unit(bool chain)
{
    static testkit::TempDir dir;
    static std::map<bool, fs::path> units;
    if (units.count(chain) == 0) {
        const fs::path unit = dir.Path() / (chain ? "chain.tav" : "flat.tav");
        testkit::UnitSpec spec;
        spec.literature = {{.pkid = 1, .doi = u"d1"}};
        testkit::BuildUnit(unit, spec);
        testkit::UnitReader reader(unit);
        const std::string numbers = "with recursive c(x) as (select 1 union all select x + 1 from c where x < " +
                                    std::to_string(kFolders) + ") ";
        reader.Execute("insert into Category(CategoryId, Name, ParentID) " + numbers + "select x, 'f' || x, " +
                       (chain ? "x - 1" : "0") + " from c");
        reader.Execute("insert into CategoryLitera(CategoryId, pkid) " + numbers + "select x, 1 from c");
        units[chain] = unit;
    }
    return units[chain];
}

void ReadFolders(benchmark::State& state)
{
    const bool chain = state.range(0) != 0;
    const fs::path& unit = Unit(chain);
    for (auto _ : state) {
        CTavDB store;
        store.Database().Open(Utf8ToWide(unit.string()));
        CTavDB::IdSet below;
        if (store.FillLiteratureFolder() == 0 || store.GetAllSubCategoryIds(below, 0) == 0 ||
            below.size() != static_cast<size_t>(kFolders)) {
            state.SkipWithError("the folders were not read whole");
            break;
        }
        std::shared_ptr<SPersonalLiteratureFolder> root;
        store.GetLiteratureFolder(root, 0);
        benchmark::DoNotOptimize(root);
    }
    state.SetLabel(chain ? "100,000 folders in one chain" : "100,000 folders side by side");
}

} // namespace

BENCHMARK(ReadFolders)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
