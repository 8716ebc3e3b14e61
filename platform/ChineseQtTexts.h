#pragma once

namespace platform {

// Qt's own texts (standard buttons, file dialogs, --help) in Simplified
// Chinese, the language of all of Pagegrab's programs. Call once, after the
// application object exists.
void useChineseQtTexts();

} // namespace platform
