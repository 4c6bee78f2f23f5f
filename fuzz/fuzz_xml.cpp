// Parses any bytes as an XML document, walks every element and attribute, and for a well-formed
// document checks that an added child with an attribute keeps it well formed and reads back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "XmlDocument.h"

namespace {

void Walk(CXmlDocument& xml) {
    volatile std::size_t sink = 0;
    for (;;) {
        if (xml.FindElement()) {
            sink = sink + xml.GetTagName().GetLength();
            for (int i = 0; i < 64; ++i) {
                CString name = xml.GetAttributeName(i);
                if (name.IsEmpty())
                    break;
                sink = sink + xml.GetAttribute(name).GetLength();
            }
            xml.EnterElement();
        } else if (!xml.LeaveElement()) {
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    CXmlDocument xml;
    bool bWellFormed = xml.SetDoc(text);
    Walk(xml);
    if (!bWellFormed)
        return 0;
    xml.SetDoc(text);  // back to the start position

    // Printable ASCII only: a two-byte character cut at the end of a value would take the
    // closing quote with it, which is how the format reads such bytes.
    std::string value;
    for (char c : text.substr(0, 32))
        if (c >= 0x20 && c < 0x7F)
            value += c;
    if (!xml.FindElement() || !xml.AddChildElement("fz") ||
        !xml.SetChildAttribute("v", value.c_str()))
        std::abort();
    CXmlDocument again;
    if (!again.SetDoc(xml.GetDocument().view()))
        std::abort();
    if (!again.FindElement() || !again.EnterElement())
        std::abort();
    bool bFound = false;
    while (again.FindElement("fz"))
        bFound = bFound || again.GetAttribute("v").str() == value;
    if (!bFound)
        std::abort();
    return 0;
}
