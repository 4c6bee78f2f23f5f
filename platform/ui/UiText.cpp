#include "UiText.h"

#include <unicode/ucol.h>
#include <unicode/uscript.h>

#include <cstring>
#include <memory>

#include "Gb2312.h"

namespace mlui {

QString ToQ(const char* gb) {
    if (!gb || !*gb)
        return QString();
    return QString::fromStdString(mlplat::GbToUtf8(gb));
}

QString ToQ(const CString& gb) {
    return gb.IsEmpty() ? QString() : QString::fromStdString(mlplat::GbToUtf8(gb.view()));
}

CString FromQ(const QString& s) {
    return CString(mlplat::Utf8ToGb(s.toStdString()));
}

namespace {

struct CollatorCloser {
    void operator()(UCollator* c) const { ucol_close(c); }
};

// One collator for the process; the user interface runs on one thread.
UCollator* ChineseCollator() {
    static std::unique_ptr<UCollator, CollatorCloser> coll = [] {
        UErrorCode err = U_ZERO_ERROR;
        UCollator* c = ucol_open("zh", &err);
        if (U_FAILURE(err)) {
            if (c)
                ucol_close(c);
            c = nullptr;
        } else {
            ucol_setStrength(c, UCOL_TERTIARY);
            // The Chinese rules put Han before every other script; the system's own comparison
            // puts Latin letters (after digits and punctuation) before Chinese characters.
            const int32_t order[] = {USCRIPT_LATIN, USCRIPT_HAN};
            ucol_setReorderCodes(c, order, 2, &err);
            if (U_FAILURE(err)) {
                ucol_close(c);
                c = nullptr;
            }
        }
        return std::unique_ptr<UCollator, CollatorCloser>(c);
    }();
    return coll.get();
}

}  // namespace

int CompareLocale(const char* a, const char* b) {
    a = a ? a : "";
    b = b ? b : "";
    UCollator* coll = ChineseCollator();
    if (coll) {
        std::string ua = mlplat::GbToUtf8(a), ub = mlplat::GbToUtf8(b);
        UErrorCode err = U_ZERO_ERROR;
        UCollationResult r = ucol_strcollUTF8(coll, ua.data(), static_cast<int32_t>(ua.size()),
                                              ub.data(), static_cast<int32_t>(ub.size()), &err);
        if (U_SUCCESS(err))
            return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
    }
    int r = std::strcmp(a, b);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

}  // namespace mlui
