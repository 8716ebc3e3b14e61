#pragma once

#include <QByteArray>

namespace emf {

// The office's EMF writer leaves its header record out of the header's
// record count, and a strict reader refuses a picture whose count is wrong.
// Sets the count to the records the picture holds, when they run whole from
// the header to the end of the file; leaves any other picture as it is.
void correctRecordCount(QByteArray &emf);

} // namespace emf
