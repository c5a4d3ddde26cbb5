// The three modules' PiPL and AETE resources, read back from module files by the host and compared
// with the filters as published: menu names, entry points, scopes and the fixed property values.
#include "app/core/Descriptor.h"
#include "app/core/PluginResources.h"
#include "host/resources/PluginResources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

namespace orvo {
namespace {

struct Expected {
    int32_t id;
    const char* menu;
    const char* entry;
    const char* scope;
    const char* description; // AETE suite description
};

const Expected kCollection[] = {
    {16000, "Orvo Black and White...", "PIMAIN_BlackAndWhite", "d6591f3d-f5f6-4281-89a6-f77d7ac00044", "Black and White"},
    {16001, "Orvo Bleach Bypass...", "PIMAIN_BleachBypass", "ed5ed834-1b55-4406-b711-4429ef1eba81", "Bleach Bypass"},
    {16002, "Orvo Color Correct...", "PIMAIN_ColorCorrect", "2acb8d6e-48b7-4cb0-b454-02b5ee290275", "Color Correct"},
    {16003, "Orvo Color Grad...", "PIMAIN_ColorGrad", "d9a056f6-1a54-4c82-bcad-077ccda07518", "Color Grad"},
    {16004, "Orvo Defocus...", "PIMAIN_Defocus", "00069a12-510a-4aad-bf1f-5f432f136309", "Defocus"},
    {16005, "Orvo Dual Tint...", "PIMAIN_DualTint", "485d352d-ba00-4391-8fb4-3d0c42e79330", "Dual Tint"},
    {16006, "Orvo Faux Film...", "PIMAIN_FauxFilm", "bbefc676-287a-416e-ad18-80b6f8a5b5f9", "Faux Film"},
    {16007, "Orvo Fluorescent...", "PIMAIN_Fluorescent", "d5daa40f-83e4-421e-8697-c9efb63d0312", "Fluorescent"},
    {16008, "Orvo Fog...", "PIMAIN_Fog", "2f2a5be6-1f00-4b1d-b04a-987c8cdd9e33", "Fog"},
    {16009, "Orvo Grain...", "PIMAIN_Grain", "4521b321-c1e7-4b2f-b609-1351bf8564cb", "Grain"},
    {16010, "Orvo Glow...", "PIMAIN_Glow", "3d2558ff-dca7-4767-a132-5332685922f5", "Glow"},
    {16011, "Orvo Infrared...", "PIMAIN_Infrared", "4cab169e-b63d-4bd0-aa6a-fda8dddaef43", "Infrared"},
    {16012, "Orvo Low Contrast...", "PIMAIN_LowContrast", "17def52f-8204-4bf6-9365-ac67dddaffc8", "Low Contrast"},
    {16013, "Orvo Selection...", "PIMAIN_MatteGenerator", "a0cc41f7-fd7b-498c-80bb-0f09421105dc", "Selection"},
    {16014, "Orvo Mist...", "PIMAIN_Mist", "90858f9e-d7e1-4b82-a833-075b36cbc2c7", "Mist"},
    {16015, "Orvo Night Vision...", "PIMAIN_NightVision", "637845e0-c9af-489e-89e2-ac67f3c30eb3", "Night Vision"},
    {16016, "Orvo ND Grad...", "PIMAIN_NDGrad", "fcd85703-ea40-4f0f-923b-a24b356d3ac5", "ND Grad"},
    {16017, "Orvo Polarizer...", "PIMAIN_Polarizer", "313704a1-b5bd-4cc1-bb4b-25466a52f5c0", "Polarizer"},
    {16018, "Orvo Selective Color...", "PIMAIN_SelectiveColor", "8c475be5-a00d-4e92-8990-43c3c4afb7ad", "Selective Color"},
    {16019, "Orvo Selective Focus...", "PIMAIN_SelectiveFocus", "3c5a5a43-ef0a-485a-bb34-041360955718", "Selective Focus"},
    {16020, "Orvo Skin Smoother...", "PIMAIN_SkinSmoother", "39cbf70e-73cd-412b-9fba-89df0d72bdf2", "Skin Smoother"},
    {16021, "Orvo Star...", "PIMAIN_Star", "f5d66421-961f-47eb-8227-f9c5ae859112", "Star"},
    {16022, "Orvo Temperature...", "PIMAIN_Temperature", "e0ca313d-a8ca-4d30-b52b-335e185f026d", "Temperature"},
    {16023, "Orvo Tint...", "PIMAIN_Tint", "59d9b3b3-e007-4f2b-95a1-18a707cf8669", "Tint"},
    {16024, "Orvo Black Mist...", "PIMAIN_BlackMist", "BAC2C053-88DB-45b7-9530-38C78D47881D", "Black Mist"},
    {16025, "Orvo Center Spot...", "PIMAIN_CenterSpot", "19FAB747-6F96-4772-9ADF-604C189B4D64", "Center Spot"},
    {16028, "Orvo Diffusion...", "PIMAIN_Diffusion", "AF3371FC-D189-44de-AA56-B593605FCE81", "Diffusion"},
    {16029, "Orvo Beamwork...", "PIMAIN_Light", "7374BE67-A7ED-4f01-9CD8-BF279F6A8E1E", "Beamwork"},
    {16031, "Orvo Streaks...", "PIMAIN_Streaks", "44C6AD87-6554-42a8-B68C-7700F3A090CE", "Streaks"},
    {16032, "Orvo Warm Mist...", "PIMAIN_WarmMist", "F8358A33-0A2A-4b6d-B0F7-4CBF57CE39F9", "Warm Mist"},
    {16033, "Orvo Overexpose...", "PIMAIN_Overexpose", "47170EDE-DA41-4113-9572-024155C6AE39", "Overexpose"},
    {16034, "Orvo Ozone...", "PIMAIN_Ozone", "B99ACD2A-0FD6-4209-AF5F-AD19D257ADAC", "Ozone"},
    {16035, "Orvo Warm/Cool...", "PIMAIN_WarmCool", "9A90E0BC-05CB-4cdc-8A0B-4D8F020F8102", "Warm/Cool"},
    {16036, "Orvo F-Stop...", "PIMAIN_FStop", "FF7BDAC1-B4BA-43cc-9AA7-991DDCEAE822", "F-Stop"},
    {16037, "Orvo Printer Points...", "PIMAIN_PrinterPoints", "3C2DF36A-EE72-4f9b-9D56-4ECEE52E7C65", "Printer Points"},
    {16038, "Orvo Ultra Contrast...", "PIMAIN_UltraContrast", "B7403F11-38BD-45ce-99A0-DAC909F8A6A9", "Ultra Contrast"},
    {16039, "Orvo Sunset/Twilight...", "PIMAIN_SunsetTwilight", "C7FC5783-FE00-405b-A1B1-3D9B53F028D4", "Sunset/Twilight"},
    {16041, "Orvo Rosco Calcolor...", "PIMAIN_RoscoCalcolor", "CE027B61-142B-4db8-873F-F6881B61FBAB", "Rosco Calcolor"},
    {16042, "Orvo Rosco Cinegel...", "PIMAIN_RoscoCinegel", "07D8FEAE-E4C3-480c-992A-9A84DFD03A24", "Rosco Cinegel"},
    {16043, "Orvo Rosco Cinelux...", "PIMAIN_RoscoCinelux", "F6182A6F-00BF-4f19-9D50-D00577F72BD4", "Rosco Cinelux"},
    {16044, "Orvo Rosco Calvane...", "PIMAIN_RoscoCalvane", "A75EF496-925F-4378-8712-B0AD6285026E", "Rosco Calvane"},
    {16045, "Orvo Enhancing...", "PIMAIN_Enhancing", "101FC31A-4903-4c36-BAD9-913B601C6E88", "Enhancing"},
    {16046, "Orvo Cross Processing...", "PIMAIN_CrossProcessing", "B3D71FAA-5024-4d59-AD22-49C3C3B872A6", "Cross Processing"},
    {16047, "Orvo Lens Distortion...", "PIMAIN_LensDistortion", "A97B50A7-09EC-46b6-988E-7D06EE0B1DF6", "Lens Distortion"},
    {16048, "Orvo Color Temperature...", "PIMAIN_ColorTemperature", "F60DB07E-D242-4584-8BC1-93E4D5967AC8", "Color Temperature"},
    {16049, "Orvo Selective Saturation...", "PIMAIN_SelectiveSaturation", "95218E11-D2AE-4039-A269-B5E34C887F27", "Selective Saturation"},
    {16050, "Orvo Fast Blur...", "PIMAIN_FastBlur", "EA88CF44-4DA0-488e-9CFD-B18DE4A94672", "Fast Blur"},
    {16051, "Orvo GamColor...", "PIMAIN_GamColor", "78acad76-aa7f-4243-b3b2-42d2c9187b7c", "GamColor"},
    {16052, "Orvo GamColor CineFilters...", "PIMAIN_GamCineFilters", "1975c814-74bc-4aae-8cea-4dc32f4983d7", "GamColor CineFilters"},
    {16053, "Orvo GamColor Naked Cosmetics...", "PIMAIN_GamNakedCosmetics", "83a48824-3b82-4c30-9f1a-05ac7a1d7fa1", "GamColor Naked Cosmetics"},
    {16054, "Orvo Photographic Filters...", "PIMAIN_PhotoFilters", "dd91cbfb-507c-4fd3-8c7d-db25c0649232", "Photographic Filters"},
    {16055, "Orvo Soft Effects...", "PIMAIN_SoftEffects", "d5902396-4007-4275-99ad-e056987f746a", "Soft Effects"},
    {16056, "Orvo Silver Reflector...", "PIMAIN_SilverReflector", "ef589a77-daeb-48de-a0a8-4d278a041c8c", "Silver Reflector"},
    {16057, "Orvo Gold Reflector...", "PIMAIN_GoldReflector", "a61b87a1-63e6-458a-a658-c9b9eacc4367", "Gold Reflector"},
    {16058, "Orvo Vignette...", "PIMAIN_Vignette", "931001f8-f788-4c90-9713-63758594ade4", "Vignette"},
    {16059, "Orvo Color Compensating...", "PIMAIN_ColorCompensating", "d72206ec-6657-4436-9415-3bfa59e2bfd5", "Color Compensating"},
    {16060, "Orvo Color Conversion...", "PIMAIN_ColorConversion", "9579f6dd-7654-4068-bad8-b4a2c47b247e", "Color Conversion"},
    {16061, "Orvo Light Balancing...", "PIMAIN_LightBalancing", "70bdb645-a791-4af0-93af-7f7ba49d025e", "Light Balancing"},
    {16062, "Orvo Day for Night...", "PIMAIN_DayForNight", "a8d45368-da91-4166-bf91-33b48a632cc8", "Day for Night"},
    {16063, "Orvo Halo...", "PIMAIN_Halo", "21152b1e-9186-4a5d-9d8b-4cce13e472ad", "Halo"},
    {16064, "Orvo Mono Tint...", "PIMAIN_MonoTint", "d782472b-5888-4b2e-9cea-79f1646fad2c", "Mono Tint"},
    {16065, "Orvo Gels...", "PIMAIN_Gels", "f2a3022f-f32f-4a8a-9260-356773ead66b", "Gels"},
};

const Expected kFilmLab[] = {
    {16000, "Lumenvat 2...", "PIMAIN_Lumenvat", "18fd0202-2035-41f6-912e-726c7edf37d8", "Lumenvat 2"},
};
const Expected kLighting[] = {
    {16000, "Beamwork v2...", "PIMAIN_Light", "95218E11-D2AE-4039-A269-B5E34C887F27", "Beamwork v2"},
};

struct ModuleCase {
    const char* file;
    const char* category;
    std::span<const Expected> filters;
};
const ModuleCase kModules[] = {
    {ORVO_TEST_ORVO_MODULE, "Tessmark Orvo v5", kCollection},
    {ORVO_TEST_ZOR2_MODULE, "Tessmark", kFilmLab},
    {ORVO_TEST_BEAMWORK2_MODULE, "Tessmark", kLighting},
};

constexpr uint32_t fourCC(const char (&c)[5]) { return FP_FOURCC(c[0], c[1], c[2], c[3]); }

// The raw bytes of one resource of a module file.
std::vector<uint8_t> rawResource(const char* file, uint32_t type, int32_t id)
{
    for (const ModuleResource& r : readModuleResources(file))
        if (r.type == type && r.id == id)
            return r.data;
    ADD_FAILURE() << "no resource " << fourCharText(type) << " " << id << " in " << file;
    return {};
}

TEST(PluginResources, EveryFilterOfEveryModuleDecodesToItsPublishedValues)
{
    const std::vector<uint32_t> propertyOrder = {fourCC("kind"), fourCC("name"), fourCC("catg"),
                                                 fourCC("vers"), fourCC("wx86"), fourCC("mode"),
                                                 fourCC("hstm"), fourCC("enbl"), fourCC("fici")};
    size_t total = 0;
    for (const ModuleCase& m : kModules) {
        const std::vector<FilterResources> filters = readFilterResources(m.file);
        ASSERT_EQ(filters.size(), m.filters.size()) << m.file;
        for (size_t i = 0; i < filters.size(); ++i) {
            const FilterResources& f = filters[i];
            const Expected& e = m.filters[i];
            SCOPED_TRACE(e.menu);
            EXPECT_EQ(f.resourceId, e.id);
            EXPECT_EQ(f.entryName, e.entry);

            const PiplRecord& p = f.pipl;
            EXPECT_EQ(p.keys, propertyOrder);
            EXPECT_EQ(p.vendors, std::vector<uint32_t>(9, fourCC("8BIM")));
            EXPECT_EQ(p.kind, fourCC("8BFM"));
            EXPECT_EQ(p.name, e.menu);
            EXPECT_EQ(p.category, m.category);
            EXPECT_EQ(p.version, 0x00040000u);
            EXPECT_EQ(p.entryX86, e.entry);
            EXPECT_EQ(p.modes, 0x10u);
            EXPECT_EQ(p.terminology, (PiplTerminology{0, fourCC("qevF"), fourCC("qevF"), static_cast<int16_t>(e.id), e.scope}));
            EXPECT_EQ(p.enableExpression, "in (PSHOP_ImageMode, RGBMode, RGB48Mode)");
            EXPECT_EQ(p.filterCases, std::vector<PiplFilterCase>(7, PiplFilterCase{4, 4, 4, 0}));

            ASSERT_TRUE(f.aete);
            const AeteRecord& a = *f.aete;
            EXPECT_EQ(a.resourceVersion, 1);
            EXPECT_EQ(a.majorVersion, 1);
            EXPECT_EQ(a.minorVersion, 0);
            EXPECT_EQ(a.language, 0);
            EXPECT_EQ(a.script, 0);
            ASSERT_EQ(a.suites.size(), 1u);
            const AeteSuite& s = a.suites[0];
            EXPECT_EQ(s.vendor, "QEV");
            EXPECT_EQ(s.description, e.description);
            EXPECT_EQ(s.id, fourCC("qevF"));
            EXPECT_EQ(s.level, 1);
            EXPECT_EQ(s.version, 1);
            ASSERT_EQ(s.events.size(), 1u);
            const AeteEvent& ev = s.events[0];
            EXPECT_EQ(ev.name, std::string("QEV ") + e.description);
            EXPECT_EQ(ev.description, "");
            EXPECT_EQ(ev.classId, fourCC("qevF"));
            EXPECT_EQ(ev.eventId, fourCC("qevF"));
            EXPECT_EQ(ev.replyType, fourCC("null"));
            EXPECT_EQ(ev.replyDescription, "");
            EXPECT_EQ(ev.replyFlags, 0);
            EXPECT_EQ(ev.directType, fourCC("#ImR"));
            EXPECT_EQ(ev.directDescription, "");
            EXPECT_EQ(ev.directFlags, 0xB000);
            EXPECT_EQ(ev.parameters, (std::vector<AeteParameter>{{"parameters", fourCC("parM"), fourCC("TEXT"), "", 0}}));

            const std::vector<uint8_t> aete = rawResource(m.file, kFpResourceAETE, e.id);
            ASSERT_GE(aete.size(), 10u);
            EXPECT_EQ(std::vector<uint8_t>(aete.begin(), aete.begin() + 10),
                      (std::vector<uint8_t>{0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}));
        }
        total += filters.size();
    }
    EXPECT_EQ(total, 64u);
}

TEST(PluginResources, CollectionUsesItsResourceIdsInOrderWithFourGaps)
{
    std::vector<int32_t> ids;
    for (const FilterResources& f : readFilterResources(ORVO_TEST_ORVO_MODULE))
        ids.push_back(f.resourceId);
    std::vector<int32_t> expected;
    for (int32_t id = 16000; id <= 16065; ++id)
        if (id != 16026 && id != 16027 && id != 16030 && id != 16040)
            expected.push_back(id);
    EXPECT_EQ(ids, expected);
}

TEST(PluginResources, AeteBytesOfOneFilter)
{
    // "Orvo Black Mist..." (16024): every byte of the dictionary.
    const std::vector<uint8_t> expected = {
        0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, // version 1, 1.0, language, script, 1 suite
        3, 'Q', 'E', 'V',                                           // vendor
        10, 'B', 'l', 'a', 'c', 'k', ' ', 'M', 'i', 's', 't',       // description
        'F', 'v', 'e', 'q',                                         // suite ID 'qevF'
        0x01, 0x00, 0x01, 0x00,                                     // level, version
        0x01, 0x00,                                                 // 1 event
        14, 'Q', 'E', 'V', ' ', 'B', 'l', 'a', 'c', 'k', ' ', 'M', 'i', 's', 't',
        0,                                                          // event description
        'F', 'v', 'e', 'q', 'F', 'v', 'e', 'q',                     // class, ID
        'l', 'l', 'u', 'n', 0, 0x00, 0x00,                          // reply 'null', "", flags 0
        'R', 'm', 'I', '#', 0, 0x00, 0xB0,                          // direct '#ImR', "", flags 0xB000
        0x01, 0x00,                                                 // 1 parameter
        10, 'p', 'a', 'r', 'a', 'm', 'e', 't', 'e', 'r', 's',
        'M', 'r', 'a', 'p', 'T', 'X', 'E', 'T', 0, 0x00, 0x00,      // 'parM', 'TEXT', "", flags 0
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                         // no classes, operators, enumerations
    };
    EXPECT_EQ(rawResource(ORVO_TEST_ORVO_MODULE, kFpResourceAETE, 16024), expected);
}

TEST(PluginResources, PiplBytesOfOneFilter)
{
    // "Lumenvat 2..." (film lab, 16000): every byte of the property list.
    const std::vector<uint8_t> expected = {
        0x01, 0x00, 0, 0, 0, 0, 9, 0, 0, 0, // reserved word, version 0, 9 properties
        'M', 'I', 'B', '8', 'd', 'n', 'i', 'k', 0, 0, 0, 0, 4, 0, 0, 0, 'M', 'F', 'B', '8',
        'M', 'I', 'B', '8', 'e', 'm', 'a', 'n', 0, 0, 0, 0, 14, 0, 0, 0,
        13, 'L', 'u', 'm', 'e', 'n', 'v', 'a', 't', ' ', '2', '.', '.', '.', 0, 0,
        'M', 'I', 'B', '8', 'g', 't', 'a', 'c', 0, 0, 0, 0, 9, 0, 0, 0,
        8, 'T', 'e', 's', 's', 'm', 'a', 'r', 'k', 0, 0, 0,
        'M', 'I', 'B', '8', 's', 'r', 'e', 'v', 0, 0, 0, 0, 4, 0, 0, 0, 0x00, 0x00, 0x04, 0x00,
        'M', 'I', 'B', '8', '6', '8', 'x', 'w', 0, 0, 0, 0, 16, 0, 0, 0,
        'P', 'I', 'M', 'A', 'I', 'N', '_', 'L', 'u', 'm', 'e', 'n', 'v', 'a', 't', 0,
        'M', 'I', 'B', '8', 'e', 'd', 'o', 'm', 0, 0, 0, 0, 4, 0, 0, 0, 0x10, 0x00, 0x00, 0x00,
        'M', 'I', 'B', '8', 'm', 't', 's', 'h', 0, 0, 0, 0, 51, 0, 0, 0,
        0, 0, 0, 0, 'F', 'v', 'e', 'q', 'F', 'v', 'e', 'q', 0x80, 0x3E, // version, class, event, 16000
        '1', '8', 'f', 'd', '0', '2', '0', '2', '-', '2', '0', '3', '5', '-', '4', '1', 'f', '6', '-',
        '9', '1', '2', 'e', '-', '7', '2', '6', 'c', '7', 'e', 'd', 'f', '3', '7', 'd', '8', 0, 0,
        'M', 'I', 'B', '8', 'l', 'b', 'n', 'e', 0, 0, 0, 0, 41, 0, 0, 0,
        'i', 'n', ' ', '(', 'P', 'S', 'H', 'O', 'P', '_', 'I', 'm', 'a', 'g', 'e', 'M', 'o', 'd', 'e', ',', ' ',
        'R', 'G', 'B', 'M', 'o', 'd', 'e', ',', ' ', 'R', 'G', 'B', '4', '8', 'M', 'o', 'd', 'e', ')', 0, 0, 0, 0,
        'M', 'I', 'B', '8', 'i', 'c', 'i', 'f', 0, 0, 0, 0, 28, 0, 0, 0,
        4, 4, 4, 0, 4, 4, 4, 0, 4, 4, 4, 0, 4, 4, 4, 0, 4, 4, 4, 0, 4, 4, 4, 0, 4, 4, 4, 0,
    };
    EXPECT_EQ(rawResource(ORVO_TEST_ZOR2_MODULE, kFpResourcePiPL, 16000), expected);
}

// The resource script's raw data back to bytes: 16-bit words (low byte first) and octal-escaped
// one-byte strings, per "ID TYPE DISCARDABLE BEGIN ... END" block.
std::map<std::pair<int32_t, std::string>, std::vector<uint8_t>> parseResourceScript(const std::string& text)
{
    std::map<std::pair<int32_t, std::string>, std::vector<uint8_t>> out;
    std::istringstream in(text);
    std::string line;
    std::vector<uint8_t>* current = nullptr;
    while (std::getline(in, line)) {
        if (line.rfind("//", 0) == 0 || line.empty())
            continue;
        if (line == "BEGIN")
            continue;
        if (line == "END") {
            current = nullptr;
            continue;
        }
        if (!current) {
            std::istringstream head(line);
            int32_t id = 0;
            std::string type;
            head >> id >> type;
            current = &out[{id, type}];
            continue;
        }
        std::istringstream items(line);
        std::string item;
        while (items >> item) {
            if (item.back() == ',')
                item.pop_back();
            if (item.rfind("0x", 0) == 0) {
                const unsigned long word = std::stoul(item, nullptr, 16);
                current->push_back(static_cast<uint8_t>(word));
                current->push_back(static_cast<uint8_t>(word >> 8));
            } else {
                EXPECT_EQ(item.size(), 6u) << item; // "\ooo"
                current->push_back(static_cast<uint8_t>(std::stoul(item.substr(2, 3), nullptr, 8)));
            }
        }
    }
    return out;
}

TEST(PluginResources, ResourceScriptCarriesTheModulesBytes)
{
    std::ifstream in(ORVO_TEST_ORVO_SCRIPT);
    ASSERT_TRUE(in) << ORVO_TEST_ORVO_SCRIPT;
    std::stringstream text;
    text << in.rdbuf();
    const auto script = parseResourceScript(text.str());
    const auto resources = readModuleResources(ORVO_TEST_ORVO_MODULE);
    ASSERT_EQ(script.size(), resources.size());
    ASSERT_EQ(resources.size(), 2 * std::size(kCollection));
    bool oddLength = false;
    for (const ModuleResource& r : resources) {
        auto it = script.find({r.id, fourCharText(r.type)});
        ASSERT_NE(it, script.end()) << r.id << " " << fourCharText(r.type);
        EXPECT_EQ(it->second, r.data) << r.id << " " << fourCharText(r.type);
        oddLength = oddLength || r.data.size() % 2;
    }
    EXPECT_TRUE(oddLength); // the one-byte string form was exercised
}

TEST(PluginResources, DecodersRejectEveryTruncationAndTrailingBytes)
{
    for (uint32_t type : {kFpResourcePiPL, kFpResourceAETE}) {
        const std::vector<uint8_t> whole = rawResource(ORVO_TEST_ORVO_MODULE, type, 16000);
        auto decodes = [&](std::span<const uint8_t> b) {
            return type == kFpResourcePiPL ? decodePipl(b).has_value() : decodeAete(b).has_value();
        };
        ASSERT_TRUE(decodes(whole));
        for (size_t n = 0; n < whole.size(); ++n)
            EXPECT_FALSE(decodes(std::span(whole).first(n))) << fourCharText(type) << " cut at " << n;
        if (type == kFpResourceAETE) {
            auto longer = whole;
            longer.push_back(0);
            EXPECT_FALSE(decodes(longer));
        }
    }
}

// Offset of a property's length field in a PiPL (reserved word, version, count, properties).
size_t lengthFieldOf(const std::vector<uint8_t>& pipl, uint32_t key)
{
    for (size_t pos = 10; pos + 16 <= pipl.size();) {
        const uint32_t length = readLE32(pipl.data() + pos + 12);
        if (readLE32(pipl.data() + pos + 4) == key)
            return pos + 12;
        pos += 16 + (length + 3) / 4 * 4;
    }
    ADD_FAILURE() << "no property " << fourCharText(key);
    return 0;
}

TEST(PluginResources, PropertiesOfTheWrongSizeAreRejected)
{
    const std::vector<uint8_t> whole = rawResource(ORVO_TEST_ZOR2_MODULE, kFpResourcePiPL, 16000);
    // kind 4 -> 3 (no longer a four-character code), wx86 16 -> 15 (the text loses its
    // terminator), name 14 -> 13 (the length byte points past the data), fici 28 -> 24 (six cases).
    struct Case {
        uint32_t key;
        uint8_t length;
    } cases[] = {{fourCC("kind"), 3}, {fourCC("wx86"), 15}, {fourCC("name"), 13}, {fourCC("fici"), 24}};
    for (const Case& c : cases) {
        auto bytes = whole;
        bytes[lengthFieldOf(bytes, c.key)] = c.length;
        EXPECT_FALSE(decodePipl(bytes)) << fourCharText(c.key);
    }
}

TEST(PluginResources, EnableExpressionModes)
{
    struct Case {
        const char* expression;
        std::vector<std::string> modes;
    } cases[] = {
        {"in (PSHOP_ImageMode, RGBMode, RGB48Mode)", {"RGBMode", "RGB48Mode"}},
        {"in (PSHOP_ImageMode, GrayScaleMode)", {"GrayScaleMode"}},
        {"in (PSHOP_ImageMode)", {}},
        {"in (PSHOP_ImageMode, RGBMode", {}},
        {"in (PSHOP_ImageMode, , RGBMode)", {}},
        {"true", {}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(enabledModes(c.expression), c.modes) << c.expression;
}

TEST(PluginResources, TableChecksAndDescriptionRule)
{
    using host::FilterRow;
    using host::ModuleTable;
    const char* guid = "d6591f3d-f5f6-4281-89a6-f77d7ac00044";
    const FilterRow good{16000, "Orvo Black Mist...", "PIMAIN_BlackMist", "BlackMist", guid, false};
    struct Case {
        FilterRow row;
        const char* fault;
    } cases[] = {
        {{16000, "Orvo Black Mist", "PIMAIN_BlackMist", "BlackMist", guid, false}, "menu name without dots"},
        {{16000, "Orvo Black Mist...", "BlackMist", "BlackMist", guid, false}, "entry point without prefix"},
        {{16000, "Orvo Black Mist...", "PIMAIN_BlackMist", "BlackMist", "d6591f3d", false}, "short scope"},
        {{40000, "Orvo Black Mist...", "PIMAIN_BlackMist", "BlackMist", guid, false}, "ID beyond 16 bits"},
        {{16001, "Orvo Black Mist...", "PIMAIN_Other", "Other", guid, false}, "ID twice"},
    };
    const FilterRow first{16001, "Orvo Other...", "PIMAIN_Other", "Other", guid, false};
    for (const Case& c : cases) {
        const FilterRow rows[] = {first, c.row};
        EXPECT_THROW(host::checkTable(ModuleTable{"Tessmark", "Orvo", rows}), std::invalid_argument) << c.fault;
    }
    const FilterRow rows[] = {first, good};
    EXPECT_TRUE(host::checkTable(ModuleTable{"Tessmark", "Orvo", rows}));

    struct Description {
        const char* productWord;
        const char* menu;
        const char* description;
    } descriptions[] = {
        {"Orvo", "Orvo Black Mist...", "Black Mist"},
        {"Orvo", "Orvo Warm/Cool...", "Warm/Cool"},
        {"Orvo", "Orvography...", "Orvography"}, // the word only as a whole word
        {"", "Lumenvat 2...", "Lumenvat 2"},
    };
    for (const Description& d : descriptions) {
        const FilterRow row{16000, d.menu, "PIMAIN_X", "X", guid, false};
        EXPECT_EQ(host::aeteDescription(ModuleTable{"Tessmark", d.productWord, {}}, row), d.description);
    }
}

} // namespace
} // namespace orvo
