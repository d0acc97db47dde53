// A phone that joined over WiFi has no adb route at all: once it has registered from 127.0.0.2,
// a bulk refresh, a download and an upload must go over its own channel and arrive whole.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../link/loopback_peer.h"
#include "../media/media_companion.h"
#include "companion/dataset.h"
#include "core/state.h"
#include "pairing/pairing_server.h"
#include "pairing/test_seams.h"
#include "reference_phone.h"
#include "virtual_phone.h"
#include "zentrolink.h"

using namespace zentro;

namespace {

constexpr const char* kSerial = "WIFI0000SERIAL";
constexpr uint32_t kSeed = 23;

std::atomic<int> g_registrations{0};
void ZENTRO_CALL onWifi(int32_t) { g_registrations.fetch_add(1); }

std::string text(const char* field) { return field != nullptr ? field : "<null>"; }

struct Photo {
    int32_t id = 0;
    int64_t size = 0;
    std::string path;
};

std::vector<Photo> listedPhotos() {
    std::vector<Photo> photos;
    const int32_t count = Zentro_FlushDevicesPhotos(0);
    for (int32_t position = 0; position < count; ++position) {
        PhotoInfo info{};
        if (Zentro_GetPhotoInfo(&info, position, 0) != 0) continue;
        Photo photo;
        photo.id = info.id;
        photo.size = ztest::mediaSize(info);
        photo.path = info.path;
        photos.push_back(photo);
    }
    return photos;
}

class WifiRouteE2e : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        g_registrations = 0;
        Zentro_SetWiFiConnectCallBack(onWifi);
        pairing::setPairingOptionsForTests({"127.0.0.1", pairing::kPairingPort});
        const std::string bmp = scratch_.file("pair.bmp");
        ASSERT_EQ(Zentro_GetPCQRGeneratorImage(bmp.c_str(), 0), 0); // starts the pairing server
        const pairing::TCPServer* server = pairing::pairingServerForTests();
        ASSERT_NE(server, nullptr);
        phone_ = std::make_unique<ztest::VirtualPhone>(
            std::string(R"({"devices":[{"serial":")") + kSerial + R"(","seed":)" + std::to_string(kSeed) +
                R"(,"wifiAddress":"127.0.0.2","wifiJoin":true}]})",
            "--wifi-join 127.0.0.1:" + std::to_string(server->port()));
        ASSERT_TRUE(ztest::waitFor([] { return g_registrations.load() == 1; }));
        ASSERT_EQ(core::deviceRow(0)->connectionKind, core::kConnectionWifi);
        phone_->clearRequestLog(kSerial);
    }
    // Everything the phone was asked since registration went to its companion, none to adb.
    void expectOnlyCompanionRequests() {
        for (const std::string& request : phone_->requestLog(kSerial))
            EXPECT_EQ(request.rfind("companion:", 0), 0u) << request;
    }
    ztest::ScratchFolder scratch_;
    std::unique_ptr<ztest::VirtualPhone> phone_;
};

} // namespace

TEST_F(WifiRouteE2e, BulkRefreshDownloadAndUploadTakeThePhonesOwnChannel) {
    ztest::ReferencePhone reference(kSerial, kSeed);

    ASSERT_EQ(Zentro_FlushSMSAll(0), 0);
    const std::vector<zsim::companion::Message> messages =
        zsim::companion::generateMessages(kSeed, reference.device->sizes);
    ASSERT_FALSE(messages.empty());
    SmsRecord* head = nullptr;
    ASSERT_EQ(Zentro_GetSMS(&head), static_cast<int32_t>(messages.size()));
    size_t position = 0;
    for (const SmsRecord* r = head; r != nullptr && position < messages.size(); r = r->next, ++position) {
        EXPECT_EQ(text(r->id), std::to_string(messages[position].id));
        EXPECT_EQ(text(r->body), messages[position].body.substr(0, 1023));
    }
    EXPECT_EQ(position, messages.size());

    const std::vector<Photo> photos = listedPhotos();
    ASSERT_FALSE(photos.empty());
    const Photo& first = photos.front();
    const std::string pulled = scratch_.file("first.jpg");
    ASSERT_EQ(Zentro_ExportPhotofromDevice(first.id, pulled.c_str(), first.size, 0), 0);
    EXPECT_TRUE(ztest::readFile(pulled) == reference.fileAt(first.path));

    const std::string bytes = mediatest::patternBytes(300001, 5);
    const std::string source = scratch_.file("holiday.jpg");
    ztest::writeFile(source, bytes);
    ASSERT_EQ(Zentro_addPhoto(source.c_str(), "holiday.jpg", 0), 0);
    Photo uploaded;
    for (const Photo& photo : listedPhotos()) {
        if (photo.path.size() > 12 && photo.path.substr(photo.path.size() - 12) == "/holiday.jpg")
            uploaded = photo;
    }
    ASSERT_NE(uploaded.id, 0) << "the upload is not in the phone's list";
    EXPECT_EQ(uploaded.size, static_cast<int64_t>(bytes.size()));
    const std::string back = scratch_.file("back.jpg");
    ASSERT_EQ(Zentro_ExportPhotofromDevice(uploaded.id, back.c_str(), uploaded.size, 0), 0);
    EXPECT_TRUE(ztest::readFile(back) == bytes);

    expectOnlyCompanionRequests();
}
