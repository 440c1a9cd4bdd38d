// What `tar --list` and `tar --list --verbose` print for an update archive: a listing that
// passes may name nothing outside the folder and no special file.

#include "FuzzSupport.h"

#include "app/update/UpdateTools.h"

using namespace pelorin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray listing = fuzz::bytes(data, size);
    if (archiveMembersStayInside(listing)) {
        for (const QByteArray& name : listing.split('\n')) {
            PELORIN_FUZZ_CHECK(!name.startsWith('/'));
            PELORIN_FUZZ_CHECK(!name.split('/').contains(".."));
        }
    }
    if (archiveMembersAreOrdinary(listing)) {
        for (const QByteArray& line : listing.split('\n'))
            PELORIN_FUZZ_CHECK(line.isEmpty() || QByteArrayView("-dlh").contains(line.front()));
    }
    return 0;
}
