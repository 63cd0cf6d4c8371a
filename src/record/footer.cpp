// CFooter and CPtrFooter: the 8-byte binary footer as a value and as a view.
#include <cstring>

#include "common/checksum.h"
#include "common/wire.h"
#include "ulvex/records.h"

using namespace ulvex::detail;

CFooter::CFooter() { std::memset(m_bytes, 0, sizeof m_bytes); }

CFooter::CFooter(unsigned int name, const unsigned char* payload, unsigned int payloadLen) {
    Inizializza(payload, payloadLen);
    StoreLe32(m_bytes + 1, name);
}

CFooter::CFooter(const char* name, const unsigned char* payload, unsigned int payloadLen) {
    Inizializza(payload, payloadLen);
    StoreTextName(m_bytes + 1, name);
}

void CFooter::Inizializza(const unsigned char* payload, unsigned int payloadLen) {
    m_bytes[0] = '<';
    m_bytes[1] = m_bytes[2] = m_bytes[3] = m_bytes[4] = 0;
    StoreLe16(m_bytes + 5, Checksum(payload, payloadLen));
    m_bytes[7] = '>';
}

unsigned short CFooter::CalcolaChecksum(const unsigned char* data, unsigned int len) const {
    return Checksum(data, len);
}

bool CFooter::VerifyChecksumOn(const unsigned char* data, unsigned int len) const {
    return LoadLe16(m_bytes + 5) == Checksum(data, len);
}

bool CFooter::IsCoerentAnyName() const { return FooterMarkersOk(m_bytes); }

bool CFooter::IsCoerent(unsigned int name) const { return IsCoerentAnyName() && LoadLe32(m_bytes + 1) == name; }

bool CFooter::IsCoerent(const char* name) const { return IsCoerentAnyName() && std::memcmp(m_bytes + 1, name, 4) == 0; }

unsigned int CFooter::GetFooterSize() const { return kFooterSize; }

// --- CPtrFooter ----------------------------------------------------------

CPtrFooter::CPtrFooter() : m_p(nullptr) {}

CPtrFooter::CPtrFooter(const unsigned char* p) : m_p(p) {}

void CPtrFooter::Inizializza(const unsigned char* p) { m_p = p; }

bool CPtrFooter::IsCoerent(const char* name) const {
    return m_p != nullptr && FooterMarkersOk(m_p) && NameMatchesPrefix(m_p + 1, name);
}

bool CPtrFooter::IsCoerent(const std::list<std::string>& names) const {
    return m_p != nullptr && FooterMarkersOk(m_p) && NameMatchesList(m_p + 1, names);
}

bool CPtrFooter::IsCoerent(unsigned int name) const {
    return m_p != nullptr && FooterMarkersOk(m_p) && LoadLe32(m_p + 1) == name;
}

unsigned short CPtrFooter::CalcolaChecksum(const unsigned char* data, unsigned int len) const {
    return Checksum(data, len);
}

bool CPtrFooter::VerifyChecksumOn(const unsigned char* data, unsigned int len) const {
    return m_p != nullptr && LoadLe16(m_p + 5) == Checksum(data, len);
}

unsigned int CPtrFooter::GetFooterSize() const { return kFooterSize; }
