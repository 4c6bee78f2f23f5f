// The area/region loader on its own: any bytes as ARInfo.xml, loaded once into empty arrays and
// once more on top of them. Areas must come out sorted by number, one group per area, the second
// load adding as many again; nothing may crash or leak.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "LoadARFile.h"

namespace {

bool SortedByNumber(const CTagAreaArray& areas) {
    for (int i = 1; i < areas.GetSize(); ++i) {
        if (areas[i - 1]->nArea > areas[i]->nArea)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CTagRegionGroupArray groups;
    CTagAreaArray areas;
    const int nFirst = CLoadARFile::LoadAreaRegionsFromText(text, &groups, &areas);
    const int nAreas = areas.GetSize();
    if (groups.GetSize() != nAreas || (nFirst == 0 && nAreas != 0) || !SortedByNumber(areas))
        std::abort();
    if (nFirst) {
        if (CLoadARFile::LoadAreaRegionsFromText(text, &groups, &areas) != 1 ||
            areas.GetSize() != 2 * nAreas || groups.GetSize() != 2 * nAreas ||
            !SortedByNumber(areas))
            std::abort();
        for (const CTagRegionArray* g : groups) {
            for (int i = 1; i < g->GetSize(); ++i) {
                if (g->GetAt(i - 1)->nRegion > g->GetAt(i)->nRegion)
                    std::abort();
            }
        }
    }
    CLoadARFile::FreeAll(&groups, &areas);
    return 0;
}
