// The default error handler (see guard.h).
#include "widgets/guard.h"

#include "data/exception.h"
#include "widgets/dialogs.h"

void guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const Exception& e) {
        Dialogs::error(e.message());
    } catch (const std::exception& e) {
        Dialogs::error(QString::fromUtf8(e.what()));
    }
}
