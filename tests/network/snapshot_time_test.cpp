// Two sessions of the network layer in one process, on loopback, driven by a
// clock of the test's own: what a client draws of a server whose frames come
// irregularly, as a busy machine's do.
#include <enet/enet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "Relay.h"
#include "session.h"

// The server's game moves a box at 1 m/s by each frame's time and hands it over
// after its tick, stamped with the frame's start; its frames take 1/60 s, now and
// then 33 or 50 ms. The client, at a steady 60 frames a second, must draw the box
// moving at that same speed: how far behind the server it is drawn changes by
// less than 8 mm from one frame to the next. A snapshot stamped with when it went
// out instead (a frame later, by the length of the frame) made steps 3 cm off.
TEST(Snapshots, AServerWhoseFramesComeIrregularlyIsDrawnMovingAtItsOwnSteadySpeed) {
    ASSERT_EQ(enet_initialize(), 0);
    {
        n3d::Session server, client;
        int port = 0;
        for (int tries = 0; tries < 20 && !server.Host(port = FreeUdpPort(), 2); ++tries) {
        }
        ASSERT_EQ(server.State(), N3D_SERVER);
        ASSERT_TRUE(client.Connect("127.0.0.1", port));
        // Joining takes ENet's own handshake, in real time; the test's clock starts after it.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (client.State() != N3D_CLIENT && std::chrono::steady_clock::now() < until) {
            server.Service(0);
            client.Service(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(client.State(), N3D_CLIENT) << "the client was not welcomed within 20 s";

        const double frame = 1.0 / 60;
        const double pattern[] = {frame, frame, frame, frame, 0.050, frame, frame, 0.033, frame, frame, frame};
        double serverFrame = 0.001, clientFrame = 0.004;
        size_t k = 0;
        double least = 1e9, most = -1e9, lastBehind = 0, largestStep = 0;
        int drawn = 0;
        while (clientFrame < 6.0) {
            if (serverFrame + 0.002 < clientFrame) {
                // As the engine runs a frame: the service sends what the last frame handed over,
                // the tick moves the box to where it stands at this frame's start, then the snapshot.
                server.Service(serverFrame + 0.002);
                N3D_Entity box{};
                box.id = 1;
                box.owner = N3D_SERVER_PEER;
                box.position.x = static_cast<float>(serverFrame);
                if (server.SnapshotDue(serverFrame + 0.004)) server.SetEntities(&box, 1, serverFrame);
                serverFrame += pattern[k++ % std::size(pattern)];
            } else {
                client.Service(clientFrame);
                const std::vector<N3D_Entity>& seen = client.Sample(clientFrame);
                // Past the first seconds, which the client's estimate of the server's clock settles in.
                if (clientFrame > 2.0) {
                    EXPECT_EQ(seen.size(), 1u) << "at " << clientFrame << " s";
                    if (seen.size() == 1) {
                        const double behind = clientFrame - seen[0].position.x;
                        least = std::min(least, behind);
                        most = std::max(most, behind);
                        if (drawn++ > 0) largestStep = std::max(largestStep, std::fabs(behind - lastBehind));
                        lastBehind = behind;
                    }
                }
                clientFrame += frame;
            }
        }
        EXPECT_GT(drawn, 200);
        // Drawn about 0.1 s behind the server, plus the way to the client.
        EXPECT_GT(least, 0.05);
        EXPECT_LT(most, 0.2);
        // Its estimate of the server's clock moves it a little; the positions' 4 mm grid too.
        EXPECT_LT(most - least, 0.015) << "drawn between " << least << " and " << most << " s behind";
        EXPECT_LT(largestStep, 0.008) << "a step between two frames off by " << largestStep << " m";
        std::printf("drawn between %.4f and %.4f s behind the server, by %.4f s more or less from one frame to the next\n",
                    least, most, largestStep);
    }
    enet_deinitialize();
}
