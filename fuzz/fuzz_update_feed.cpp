// The update feed from the product site: refused with an UpdateError or read whole; the
// download location it names is an http(s) URL or nothing.

#include "FuzzSupport.h"

#include "app/update/UpdateError.h"
#include "app/update/UpdateFeed.h"

using namespace pelorin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const UpdateFeed feed = UpdateFeed::decode(fuzz::bytes(data, size));
        const QUrl url = downloadUrl(QUrl(QStringLiteral("https://pelorin.app/")), feed.dmg_url);
        PELORIN_FUZZ_CHECK(url.isEmpty() || url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
    } catch (const UpdateError&) {
    }
    return 0;
}
