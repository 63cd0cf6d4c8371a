// A program outside the project that uses the installed library.
#include <cstdio>
#include <vector>

#include <ulvex/ulvex.h>

int main() {
    IUlvexEncoderBin* enc = IUlvexEncoderBin::CreateMe();
    IUlvexDecoderBin* dec = IUlvexDecoderBin::CreateMe();
    std::vector<unsigned char> buf, payload(3, 'x');
    enc->AddTagBin(buf, "DATA", payload, 1);
    buf.push_back(0);
    std::vector<STag> tags;
    dec->FindAllTagPtrAnyName(&buf[0], static_cast<unsigned int>(buf.size()), tags);
    const bool ok = tags.size() == 1 && tags[0].TagName == "DATA" && tags[0].PayloadLen == 3;
    delete dec;
    delete enc;
    std::printf("consumer: %s\n", ok ? "OK" : "FAILED");
    return ok ? 0 : 1;
}
