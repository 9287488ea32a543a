// Who signed a program: the certificate of its Authenticode signature's
// signer, read from the program's bytes with the PE and DER readers the
// package check uses too. The signature is only read, never judged: judging
// it is the system's job when it starts the program (App Control, AppLocker,
// Smart App Control), and a program nothing checks proves nothing by its
// signer. Free of Win32 but for OwnSigner.
#pragma once

#include <string>

#include "engine/version/pe_image.h"

struct ProgramSigner {
    enum State {
        kUnsigned,    // no certificate table: the seal is checked as it always was
        kSigned,      // certificate is the signer's
        kUnreadable,  // a certificate table, but no signer's certificate can be told from it
    };
    State state = kUnsigned;
    std::string certificate;      // kSigned: the signer's certificate, DER
    PeDirectory table = {0, 0};   // the certificate directory as the headers hold it

    // Whose signature the seal must carry (VerifyPackage): nobody's for an
    // unsigned program, else this certificate, "" when it is unreadable,
    // which no signature matches.
    const std::string* Publisher() const { return state == kUnsigned ? nullptr : &certificate; }
};

// The signer of the program whose file holds bytes: the certificate the
// first signer of its first certificate entry names by issuer and serial
// number, the signature Windows checks. Bytes that are no program are
// unsigned.
ProgramSigner SignerOfProgram(const std::string& bytes);

// Windows only: the running program's own signer. Whether it is signed at
// all is read from the headers of the image Windows loaded, and the
// certificate from the program's file, which must declare the same
// certificate table; a file that cannot be read, or declares another, is
// unreadable. An unsigned program reads no file.
ProgramSigner OwnSigner();
