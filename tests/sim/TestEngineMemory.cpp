// The simulated handbox's memory: a pattern in which misplaced bytes show,
// the shared low half, and image files.

#include "sim/Engine.h"
#include "sim/Memory.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestEngineMemory : public QObject {
    Q_OBJECT

private slots:
    void PatternShowsMisplacedBytes() {
        const HandboxMemory memory(7);
        // No zero fill and no short period: a shift by any offset up to 4 KiB
        // inside a page, or to the same offset of the next page, mismatches
        // most bytes.
        for (std::uint32_t shift : {1u, 2u, 4u, 8u, 16u, 128u, 256u, 4096u, 0x10000u}) {
            int same = 0;
            for (std::uint32_t a = 0x28000; a < 0x28000 + 1024; ++a)
                same += memory.AtFull(a) == memory.AtFull(a + shift);
            QVERIFY2(same < 32, qPrintable(QString("shift %1: %2 same").arg(shift).arg(same)));
        }
        int zeros = 0;
        for (std::uint32_t a = 0; a < 4096; ++a)
            zeros += memory.AtFull(a) == 0;
        QVERIFY(zeros < 64);
        // Another seed, another content.
        const HandboxMemory other(8);
        int same = 0;
        for (std::uint32_t a = 0x8000; a < 0x8000 + 1024; ++a)
            same += memory.AtFull(a) == other.AtFull(a);
        QVERIFY(same < 32);
    }

    void LowHalfIsSharedByAllPages() {
        HandboxMemory memory(3);
        memory.Set(0x55, 0x1234, 0xA5);
        QCOMPARE(memory.At(0, 0x1234), 0xA5);
        QCOMPARE(memory.AtFull(0x7F1234), 0xA5);
        memory.Set(0x55, 0x9234, 0x5A);
        QCOMPARE(memory.AtFull(0x559234), 0x5A);
        QVERIFY(memory.At(0x56, 0x9234) == HandboxMemory::PatternByte(3, 0x569234));
        // Beyond memory: reads FF, writes are ignored (no stray write).
        memory.SetFull(HandboxMemory::FullSize, 1);
        QCOMPARE(memory.AtFull(HandboxMemory::FullSize), 0xFF);
    }

    void ImageHoldsPageAfterPageAndRoundTrips() {
        HandboxMemory memory(11);
        memory.Set(0, 0x0100, 0x42);
        memory.Set(0x7F, 0xFFFF, 0x24);
        const std::vector<std::uint8_t> image = memory.Image();
        QCOMPARE(image.size(), std::size_t{HandboxMemory::FullSize});
        QCOMPARE(image[0x30100], 0x42); // the low half repeated in page 3
        QCOMPARE(image[0x7FFFFF], 0x24);
        QCOMPARE(image[0x4ABCD], memory.At(4, 0xABCD));

        QTemporaryDir dir;
        const std::string path = dir.filePath("image.bin").toStdString();
        std::string error;
        QVERIFY(SaveImageFile(path, memory, error));
        HandboxMemory loaded(99);
        QVERIFY2(LoadImageFile(path, loaded, error), error.c_str());
        QVERIFY(loaded.Image() == image);

        // A loaded image is served as it is: no probe word is put into it.
        HandboxEngine engine(HandboxSettings{}, loaded);
        QCOMPARE(engine.Memory().AtFull(64), memory.AtFull(64));
    }

    void RefusesImagesOfTheWrongSize() {
        QTemporaryDir dir;
        const QString path = dir.filePath("short.bin");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(HandboxMemory::FullSize - 1, 'x'));
        file.close();
        HandboxMemory memory(5);
        const auto before = memory.AtFull(0x123456);
        std::string error;
        QVERIFY(!LoadImageFile(path.toStdString(), memory, error));
        QVERIFY(error.find("8388608") != std::string::npos);
        QCOMPARE(memory.AtFull(0x123456), before);

        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(HandboxMemory::FullSize + 1, 'x'));
        file.close();
        QVERIFY(!LoadImageFile(path.toStdString(), memory, error));
        QVERIFY(!LoadImageFile(dir.filePath("missing.bin").toStdString(), memory, error));
        QVERIFY(!SaveImageFile(dir.filePath("no/such/dir.bin").toStdString(), memory, error));
    }
};

HEXVAC_TEST(TestEngineMemory);
#include "TestEngineMemory.moc"
