#pragma once
// The program's private temporary folder: created mode 0700 under the system's temporary folder,
// removed with everything in it when the object dies. Deciphered pictures and extracted archive
// entries live here so that no other user can read them or plant a link in their place.

#include <QString>

class TPrivateTemp {
public:
    // Throws EInOutError when the folder cannot be created.
    TPrivateTemp();
    ~TPrivateTemp();
    TPrivateTemp(const TPrivateTemp &) = delete;
    TPrivateTemp &operator=(const TPrivateTemp &) = delete;

    // The folder with a trailing "/".
    const QString &path() const { return m_path; }

    // The process-wide instance, or nullptr before main created one.
    static TPrivateTemp *instance();

private:
    QString m_path;
};
