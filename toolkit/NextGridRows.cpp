#include "toolkit/NextGridRows.h"

#include "engine/DFinder.h"

std::vector<TGridRow> ListGridRows(const TDFinder& finder)
{
    std::vector<TGridRow> rows;
    rows.reserve(std::size_t(finder.GroupedFileCount()));
    std::uint8_t band = 0;
    for (const TDGroup* group : finder.Groups) {
        if (group->Count() == 0) {
            continue;
        }
        for (TDImage* image : *group) {
            rows.push_back(TGridRow {image, group->GroupNumber, band});
        }
        band ^= 1;
    }
    return rows;
}
