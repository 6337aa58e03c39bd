#include <exception>
#include <new>

#include "app/RWFile.h"
#include "platform/Platform.h"

int main()
{
    try {
        RWFile();
    } catch (const PlatformError& error) {
        ReportFailure(error);
    } catch (const std::bad_alloc&) {
        ReportFailure(PlatformError("hold the text", "out of memory"));
    } catch (const std::exception& error) {
        ReportFailure(PlatformError("run", error.what()));
    }
    return 1;
}
