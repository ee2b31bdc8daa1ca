// The document container reader on arbitrary bytes (pasted and dropped data,
// setting files): every record read must write again as a container, as XML and
// as preference nodes, and read back from the preference nodes.

#include <cstddef>
#include <cstdint>

#include "base/CMemStrm.h"
#include "records/CChunkFile.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "records/RecordXml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registered = (RegisterAllRecordKinds(), RegisterPrefNodeKinds(), true);
    (void)registered;
    if (size > (1u << 20)) return 0;
    CChunkFile in;
    in.OpenRead(data, u32(size));
    LDataBuf outBuf;
    CChunkFile out;
    out.OpenWrite(in.FirstCode(), in.SecondCode(), outBuf);
    for (int n = 0; n < 64; ++n) {
        CRecord* r = in.ReadRecord();
        if (!r) break;
        out.WriteRecord(r);
        LDataBuf xml;
        {
            CMemStrm s(xml);
            WriteRecordXml(&s, r);
        }
        CMemPrefStore store;
        {
            CPrefNode node(&store, "r");
            WriteToPrefNode(node, r);
        }
        CRecord* back = CRecord::New(r->Schema());
        {
            CPrefNode node(&store, "r");
            ReadFromPrefNode(node, back);
        }
        CRecord::Destroy(back);
        CRecord::Destroy(r);
    }
    out.Close();
    return 0;
}
