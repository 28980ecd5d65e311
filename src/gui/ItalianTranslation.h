// Qt's own Italian texts for the standard buttons and boxes: "OK", "Annulla", "Sì", "No".
#pragma once

namespace zb32 {

// Installs Qt's Italian translation in the running application, once; later calls do nothing.
// False, with a warning logged, when the translation is not installed on the system: the boxes
// then keep Qt's built-in texts.
bool installItalianTranslation();

} // namespace zb32
