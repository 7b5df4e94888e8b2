// The local address field, through a stand-in name service.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "testkit/case_table.h"
#include "testkit/window_probe.h"
#include "ui/zel_log_console_dlg.h"

namespace {

// A name service that answers as told and records what it was asked.
class CFakeResolver : public CHostResolver {
public:
    int nameResult = 0;            // what gethostname returns
    std::string name = "zel-host"; // the bytes it writes (a name that fills the buffer has no end)
    bool resolves = true;          // whether gethostbyname finds the name
    short family = AF_INET;
    short length = 4;
    std::vector<std::array<unsigned char, 16>> addresses{{{192, 168, 7, 21}}};
    bool nullList = false;

    int sizeGiven = 0;
    int lookups = 0;
    std::string asked;

    int GetHostName(char* out, int size) override
    {
        sizeGiven = size;
        if (nameResult != 0)
            return nameResult;
        const size_t n = std::min(name.size(), static_cast<size_t>(size));
        memcpy(out, name.data(), n);
        if (n < static_cast<size_t>(size))
            out[n] = '\0';
        return 0;
    }

    hostent* GetHostByName(const char* query) override
    {
        ++lookups;
        asked = query;
        if (!resolves)
            return nullptr;
        m_list.clear();
        for (auto& a : addresses)
            m_list.push_back(reinterpret_cast<char*>(a.data()));
        m_list.push_back(nullptr);
        m_host = {};
        m_host.h_name = const_cast<char*>(asked.c_str());
        m_host.h_addrtype = family;
        m_host.h_length = length;
        m_host.h_addr_list = nullList ? nullptr : m_list.data();
        return &m_host;
    }

private:
    hostent m_host = {};
    std::vector<char*> m_list;
};

struct AddressCase {
    const char* name;
    void (*arrange)(CFakeResolver&);
    const wchar_t* field;
    int lookups;
};

const AddressCase kAddressCases[] = {
    {"Found", [](CFakeResolver&) {}, L"192.168.7.21", 1},
    {"FirstOfSeveral",
     [](CFakeResolver& r) {
         r.addresses = {{{10, 0, 0, 9}}, {{192, 168, 7, 21}}, {{127, 0, 0, 1}}};
     },
     L"10.0.0.9", 1},
    {"NameOf255Characters", [](CFakeResolver& r) { r.name = std::string(255, 'h'); }, L"192.168.7.21", 1},
    {"NameLookupFails", [](CFakeResolver& r) { r.nameResult = SOCKET_ERROR; }, L"", 0},
    {"NameFillsTheBuffer", [](CFakeResolver& r) { r.name = std::string(300, 'h'); }, L"", 0},
    {"NameDoesNotResolve", [](CFakeResolver& r) { r.resolves = false; }, L"", 1},
    {"NoAddress", [](CFakeResolver& r) { r.addresses.clear(); }, L"", 1},
    {"NoAddressList", [](CFakeResolver& r) { r.nullList = true; }, L"", 1},
    {"IPv6Only",
     [](CFakeResolver& r) {
         r.family = AF_INET6;
         r.length = 16;
         r.addresses = {{{0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}}};
     },
     L"", 1},
    {"WrongAddressLength", [](CFakeResolver& r) { r.length = 16; }, L"", 1},
};

TEST(LocalAddress, FieldShowsTheFirstIPv4AddressOrNothing)
{
    ForEachCase(kAddressCases, [](const AddressCase& c) {
        CFakeResolver resolver;
        c.arrange(resolver);
        const std::string name = resolver.name;

        CZelLogConsoleDlg dlg;
        dlg.SetHostResolver(&resolver);
        ASSERT_TRUE(dlg.Create());

        EXPECT_EQ(TextOf(dlg.GetDlgItem(IDC_LOCAL_ADDRESS)), c.field);
        EXPECT_GE(resolver.sizeGiven, 256) << "the buffer must hold any host name";
        EXPECT_EQ(resolver.lookups, c.lookups);
        if (resolver.lookups) {
            EXPECT_EQ(resolver.asked, name) << "the whole name is looked up";
        }
        // Whatever the lookup gave, the window is whole.
        EXPECT_EQ(::GetFocus(), dlg.GetDlgItem(IDC_LOCAL_ADDRESS));
        EXPECT_EQ(TextOf(dlg.GetDlgItem(IDC_SERVICE_BUTTON)), L"启动");
    });
}

} // namespace
