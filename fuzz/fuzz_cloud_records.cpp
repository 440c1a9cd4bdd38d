// Replies of the cloud service: every record decoder either returns a record or throws a
// ServiceError, whatever the body.

#include "FuzzSupport.h"

#include "cloud/CloudRecords.h"
#include "net/ServiceError.h"

using namespace pelorin;

namespace {

template <typename Decode>
void decodeOrRefuse(const QJsonObject& object, Decode decode)
{
    try {
        decode(object);
    } catch (const ServiceError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QJsonObject object;
    try {
        object = decodeReplyObject(fuzz::bytes(data, size));
    } catch (const ServiceError&) {
        return 0;
    }
    decodeOrRefuse(object, decodeCloudAuthResponse);
    decodeOrRefuse(object, decodeGoogleStart);
    decodeOrRefuse(object, decodeGooglePoll);
    decodeOrRefuse(object, decodeCloudUploadInit);
    decodeOrRefuse(object, decodeCloudUploadComplete);
    decodeOrRefuse(object, decodeURLResponseBody);
    decodeOrRefuse(object, decodeOKResponse);
    decodeOrRefuse(object, decodeCloudMe);
    return 0;
}
