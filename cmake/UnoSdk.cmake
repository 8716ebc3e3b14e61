# The office's C++ API: Debian's SDK ships the runtime headers and libraries,
# but the API type headers must be generated from the office's type database.

set(LIBREOFFICE_PROGRAM_DIR "/usr/lib/libreoffice/program" CACHE PATH "LibreOffice's program folder")
set(LIBREOFFICE_SDK_DIR "/usr/lib/libreoffice/sdk" CACHE PATH "LibreOffice's SDK folder")

find_program(CPPUMAKER cppumaker PATHS "${LIBREOFFICE_SDK_DIR}/bin" NO_DEFAULT_PATH REQUIRED)

# Every API type the office layer names, directly or through the headers it includes.
set(UNO_TYPES
    com.sun.star.uno.XComponentContext
    com.sun.star.uno.DeploymentException
    com.sun.star.uno.XWeak
    com.sun.star.uno.XAggregation
    com.sun.star.lang.XTypeProvider
    com.sun.star.beans.PropertyValue
    com.sun.star.beans.XPropertySet
    com.sun.star.beans.NamedValue
    com.sun.star.bridge.BridgeFactory
    com.sun.star.bridge.XBridge
    com.sun.star.configuration.theDefaultProvider
    com.sun.star.connection.Connector
    com.sun.star.connection.NoConnectException
    com.sun.star.container.XIndexAccess
    com.sun.star.container.XNameAccess
    com.sun.star.style.XStyleFamiliesSupplier
    com.sun.star.document.MacroExecMode
    com.sun.star.document.UpdateDocMode
    com.sun.star.drawing.GraphicExportFilter
    com.sun.star.drawing.XDrawPage
    com.sun.star.drawing.XDrawPagesSupplier
    com.sun.star.frame.Desktop
    com.sun.star.frame.XComponentLoader
    com.sun.star.frame.XController
    com.sun.star.frame.XModel
    com.sun.star.frame.XStorable
    com.sun.star.io.IOException
    com.sun.star.io.NotConnectedException
    com.sun.star.io.SequenceInputStream
    com.sun.star.io.XInputStream
    com.sun.star.io.XSeekable
    com.sun.star.lang.IllegalArgumentException
    com.sun.star.lang.DisposedException
    com.sun.star.lang.XComponent
    com.sun.star.lang.XMultiServiceFactory
    com.sun.star.task.ErrorCodeRequest
    com.sun.star.task.XInteractionAbort
    com.sun.star.task.XInteractionApprove
    com.sun.star.task.XInteractionHandler
    com.sun.star.task.XInteractionRequest
    com.sun.star.text.XPageCursor
    com.sun.star.text.XTextDocument
    com.sun.star.text.XTextViewCursorSupplier
    com.sun.star.util.XChangesBatch
    com.sun.star.awt.Rectangle
    com.sun.star.datatransfer.XTransferable
    com.sun.star.view.XRenderable
    com.sun.star.awt.Size
    com.sun.star.awt.Point
    com.sun.star.util.XCloseable
    com.sun.star.util.CloseVetoException
)

set(UNO_GENERATED_DIR "${CMAKE_BINARY_DIR}/uno-headers")
set(UNO_STAMP "${UNO_GENERATED_DIR}/.stamp")
list(TRANSFORM UNO_TYPES PREPEND "-T" OUTPUT_VARIABLE UNO_TYPE_ARGS)
add_custom_command(
    OUTPUT "${UNO_STAMP}"
    COMMAND "${CPPUMAKER}" -Gc "-O${UNO_GENERATED_DIR}" ${UNO_TYPE_ARGS}
            "${LIBREOFFICE_PROGRAM_DIR}/types.rdb" "${LIBREOFFICE_PROGRAM_DIR}/types/offapi.rdb"
    COMMAND "${CMAKE_COMMAND}" -E touch "${UNO_STAMP}"
    DEPENDS "${CMAKE_CURRENT_LIST_FILE}"
    COMMENT "Generating the office API headers"
    VERBATIM)
add_custom_target(uno_headers DEPENDS "${UNO_STAMP}")

add_library(uno_sdk INTERFACE)
add_dependencies(uno_sdk uno_headers)
target_include_directories(uno_sdk SYSTEM INTERFACE "${LIBREOFFICE_SDK_DIR}/include" "${UNO_GENERATED_DIR}")
target_compile_definitions(uno_sdk INTERFACE LINUX UNX GCC CPPU_ENV=gcc3)
target_link_directories(uno_sdk INTERFACE "${LIBREOFFICE_SDK_DIR}/lib")
target_link_libraries(uno_sdk INTERFACE uno_cppuhelpergcc3 uno_cppu uno_sal)
target_link_options(uno_sdk INTERFACE "LINKER:-rpath,${LIBREOFFICE_PROGRAM_DIR}")
