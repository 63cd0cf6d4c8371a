// CHeader and CPtrHeader: the 12-byte binary header as a value and as a view.
#include <cstring>

#include "common/checksum.h"
#include "common/wire.h"
#include "ulvex/records.h"

using namespace ulvex::detail;

CHeader::CHeader() { std::memset(m_bytes, 0, sizeof m_bytes); }

CHeader::CHeader(unsigned int name, unsigned char version, unsigned int payloadLen) {
    Inizializza(version, payloadLen);
    StoreLe32(m_bytes + 2, name);
}

CHeader::CHeader(const char* name, unsigned char version, unsigned int payloadLen) {
    Inizializza(version, payloadLen);
    StoreTextName(m_bytes + 2, name);
}

void CHeader::Inizializza(unsigned char version, unsigned int payloadLen) {
    m_bytes[0] = '<';
    m_bytes[1] = 'h';
    m_bytes[2] = m_bytes[3] = m_bytes[4] = m_bytes[5] = 0;
    StoreLe32(m_bytes + 6, payloadLen);
    m_bytes[10] = version;
    m_bytes[11] = '>';
}

bool CHeader::IsCoerentAnyName() const { return HeaderMarkersOk(m_bytes); }

bool CHeader::IsCoerent(unsigned int name) const { return IsCoerentAnyName() && LoadLe32(m_bytes + 2) == name; }

bool CHeader::IsCoerent(const char* name) const { return IsCoerentAnyName() && std::memcmp(m_bytes + 2, name, 4) == 0; }

const char* CHeader::GetPtrTagName() const { return reinterpret_cast<const char*>(m_bytes + 2); }

void CHeader::GetTagName(std::string& out) const { NameToString(m_bytes + 2, out); }

void CHeader::GetTagName(std::vector<char>& out) const {
    out.resize(4);
    std::memcpy(out.data(), m_bytes + 2, 4);
}

unsigned int CHeader::GetPayloadLen() const { return LoadLe32(m_bytes + 6); }

void CHeader::SetPayloadLen(unsigned int payloadLen) { StoreLe32(m_bytes + 6, payloadLen); }

unsigned char CHeader::GetVersion() const { return m_bytes[10]; }

unsigned int CHeader::GetHeaderSize() const { return kHeaderSize; }

// --- CPtrHeader ----------------------------------------------------------

CPtrHeader::CPtrHeader() : m_p(nullptr) {}

CPtrHeader::CPtrHeader(const unsigned char* p) : m_p(p) {}

void CPtrHeader::Inizializza(const unsigned char* p) { m_p = p; }

bool CPtrHeader::IsCoerentAnyName() const { return m_p != nullptr && HeaderMarkersOk(m_p); }

bool CPtrHeader::IsCoerent(const char* name) const { return IsCoerentAnyName() && NameMatchesPrefix(m_p + 2, name); }

bool CPtrHeader::IsCoerent(const std::list<std::string>& names) const {
    return IsCoerentAnyName() && NameMatchesList(m_p + 2, names);
}

bool CPtrHeader::IsCoerent(unsigned int name) const { return IsCoerentAnyName() && LoadLe32(m_p + 2) == name; }

const char* CPtrHeader::GetPtrTagName() const {
    return m_p != nullptr ? reinterpret_cast<const char*>(m_p + 2) : nullptr;
}

void CPtrHeader::GetTagName(std::string& out) const {
    if (m_p == nullptr)
        out.clear();
    else
        NameToString(m_p + 2, out);
}

unsigned int CPtrHeader::GetPayloadLen() const { return m_p != nullptr ? LoadLe32(m_p + 6) : 0; }

void CPtrHeader::SetPayloadLen(unsigned int payloadLen) {
    // The view holds a pointer to constant bytes; writing through it is this
    // operation's documented purpose and requires writable memory.
    if (m_p != nullptr) StoreLe32(const_cast<unsigned char*>(m_p) + 6, payloadLen);
}

unsigned char CPtrHeader::GetVersion() const { return m_p != nullptr ? m_p[10] : 0; }

unsigned int CPtrHeader::GetHeaderSize() const { return kHeaderSize; }
