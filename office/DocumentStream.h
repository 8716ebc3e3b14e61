#pragma once

// Internal to office/: a document's bytes as the office reads them. The
// office is handed the bytes, not the path, so it needs no access to the
// document's folder, a name that is not UTF-8 reaches it unchanged, and a
// link relative to the document has nothing to resolve against.

#include <com/sun/star/io/XInputStream.hpp>
#include <com/sun/star/io/XSeekable.hpp>
#include <cppuhelper/implbase2.hxx>

#include <QString>

#include <mutex>

namespace office {

class DocumentStream
    : public cppu::WeakImplHelper2<com::sun::star::io::XInputStream, com::sun::star::io::XSeekable> {
public:
    // Throws Failure with the system's message when the file cannot be read.
    explicit DocumentStream(const QString &path);
    ~DocumentStream() override;

    sal_Int32 SAL_CALL readBytes(com::sun::star::uno::Sequence<sal_Int8> &data, sal_Int32 count) override;
    sal_Int32 SAL_CALL readSomeBytes(com::sun::star::uno::Sequence<sal_Int8> &data, sal_Int32 most) override;
    void SAL_CALL skipBytes(sal_Int32 count) override;
    sal_Int32 SAL_CALL available() override;
    void SAL_CALL closeInput() override;

    void SAL_CALL seek(sal_Int64 location) override;
    sal_Int64 SAL_CALL getPosition() override;
    sal_Int64 SAL_CALL getLength() override;

private:
    std::mutex mutex_;
    int fd_ = -1;
};

} // namespace office
