// Runs the fuzz target without libFuzzer, deterministically: every file of the corpus folder, then a given
// number of inputs mutated from them by a fixed pseudo-random sequence (bit flips, inserted and removed bytes,
// tokens of the dialect, splices of two inputs). The test command runs it under the sanitizers as a smoke test.
//
//   fuzz_dialect_replay CORPUS_FOLDER MUTATIONS

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

/// xorshift64*: the same sequence on every machine.
class Sequence
{
public:
    std::uint64_t next()
    {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 0x2545F4914F6CDD1DULL;
    }
    qsizetype below(qsizetype n) { return n <= 0 ? 0 : qsizetype(next() % std::uint64_t(n)); }

private:
    std::uint64_t m_state = 0x9E3779B97F4A7C15ULL;
};

const QList<QByteArray>& tokens()
{
    static const QList<QByteArray> list = {
        "'",
        "''",
        "\"",
        "#",
        "[",
        "]",
        "`",
        "%",
        "_",
        QByteArray(1, '\0'),
        ";",
        "--",
        "/*",
        "(",
        ")",
        ",",
        "=",
        "<>",
        " and ",
        " or ",
        " like ",
        " between ",
        " select * from ",
        "收送礼",
        "金额",
        "时间",
        "姓名",
        "ID",
        "e+",
        "e-9999",
        ".",
        "-",
        "9223372036854775807",
        "0.00005",
        "１２３",
        "　",
        "😀",
        "#2011/2/30#",
        "#12:61#",
        "\xff\xfe",
        "\xed\xa0\x80",
    };
    return list;
}

QByteArray mutated(Sequence& s, const QList<QByteArray>& corpus)
{
    QByteArray input = corpus.at(int(s.below(corpus.size())));
    const int steps = 1 + int(s.below(4));
    for (int i = 0; i < steps; ++i) {
        const qsizetype at = s.below(input.size() + 1);
        switch (s.below(5)) {
        case 0:
            if (!input.isEmpty())
                input[at % input.size()] = char(input[at % input.size()] ^ char(1 << s.below(8)));
            break;
        case 1:
            input.insert(at, char(s.below(256)));
            break;
        case 2:
            input.remove(at, s.below(8));
            break;
        case 3:
            input.insert(at, tokens().at(int(s.below(tokens().size()))));
            break;
        default: {
            const QByteArray& other = corpus.at(int(s.below(corpus.size())));
            input = input.left(at) + other.mid(s.below(other.size() + 1));
            break;
        }
        }
    }
    return input;
}

void run(const QByteArray& input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.constData()), std::size_t(input.size()));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER MUTATIONS\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QList<QByteArray> corpus;
    for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            corpus << file.readAll();
    }
    if (corpus.isEmpty()) {
        std::fprintf(stderr, "no corpus in %s\n", argv[1]);
        return 1;
    }
    for (const QByteArray& input : std::as_const(corpus))
        run(input);
    Sequence sequence;
    const long mutations = std::strtol(argv[2], nullptr, 10);
    for (long i = 0; i < mutations; ++i)
        run(mutated(sequence, corpus));
    std::printf("%lld corpus inputs and %ld mutations passed\n", static_cast<long long>(corpus.size()), mutations);
    return 0;
}
