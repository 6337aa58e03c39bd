#include <exception>
#include <new>
#include <string>

#include "app/RWFile.h"
#include "platform/Platform.h"

int main()
{
    try {
        RWFile();
    } catch (const PlatformError& error) {
        ReportFailure(error.what());
    } catch (const std::bad_alloc&) {
        ReportFailure("hold the text: out of memory");
    } catch (const std::exception& error) {
        ReportFailure(std::string("run: ") + error.what());
    }
    return 1;
}
