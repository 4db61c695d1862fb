#include "link/port_search.h"

namespace velmora {

PortSearchResult searchPorts(const PortSearch& search) {
    PortSearchResult result;
    for (int position = 1; position <= search.count; ++position) {
        if (search.stop && search.stop->load()) break;
        if (search.beforeProbe) search.beforeProbe(position);
        const bool found = search.probe && search.probe(position);
        ++result.probed;
        if (search.afterProbe) search.afterProbe(position, found);
        if (found) {
            result.found = position;
            break;
        }
    }
    return result;
}

}  // namespace velmora
