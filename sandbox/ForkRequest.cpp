#include "sandbox/ForkRequest.h"

#include <cstdint>
#include <cstring>

namespace sandbox {
namespace {

void put(QByteArray &out, const QByteArray &field)
{
    const auto size = std::uint32_t(field.size());
    out.append(reinterpret_cast<const char *>(&size), sizeof size);
    out.append(field);
}

void putAll(QByteArray &out, const std::vector<QByteArray> &fields)
{
    put(out, QByteArray::number(qulonglong(fields.size())));
    for (const QByteArray &field : fields)
        put(out, field);
}

class Reader {
public:
    Reader(const char *data, std::size_t size) : data_(data), left_(size) {}

    std::optional<QByteArray> field()
    {
        std::uint32_t size;
        if (left_ < sizeof size)
            return std::nullopt;
        std::memcpy(&size, data_, sizeof size);
        if (left_ - sizeof size < size)
            return std::nullopt;
        // A view, not a copy: the server wipes the one buffer a request
        // arrives in, and no copy of it may outlive that.
        const QByteArray field = QByteArray::fromRawData(data_ + sizeof size, qsizetype(size));
        data_ += sizeof size + size;
        left_ -= sizeof size + size;
        return field;
    }

    std::optional<std::vector<QByteArray>> fields()
    {
        const auto count = field();
        bool ok = false;
        const qulonglong n = count ? count->toULongLong(&ok) : 0;
        // Each field takes at least its length: a count beyond what is left
        // is a broken request, not a reason to reserve memory.
        if (!ok || n > left_ / sizeof(std::uint32_t))
            return std::nullopt;
        std::vector<QByteArray> all;
        for (qulonglong i = 0; i < n; ++i) {
            auto next = field();
            if (!next)
                return std::nullopt;
            all.push_back(std::move(*next));
        }
        return all;
    }

    bool atEnd() const { return left_ == 0; }

private:
    const char *data_;
    std::size_t left_;
};

} // namespace

QByteArray encodeForkRequest(const Confinement &confinement, const std::vector<QByteArray> &arguments,
                             const std::vector<QByteArray> &environment, bool mustBeComplete)
{
    QByteArray out;
    put(out, mustBeComplete ? "1" : "0");
    put(out, confinement.ownFolder());
    std::vector<QByteArray> rules;
    for (const FileAllowList::Rule &rule : confinement.files().rules())
        rules.push_back(char('0' + rule.kind) + rule.path);
    putAll(out, rules);
    putAll(out, arguments);
    putAll(out, environment);
    return out;
}

std::optional<ForkRequest> decodeForkRequest(const char *data, std::size_t size)
{
    Reader reader(data, size);
    ForkRequest request;
    const auto complete = reader.field();
    const auto ownFolder = reader.field();
    const auto rules = reader.fields();
    auto arguments = reader.fields();
    auto environment = reader.fields();
    if (!complete || !ownFolder || !rules || !arguments || !environment || !reader.atEnd() || arguments->empty())
        return std::nullopt;
    request.mustBeComplete = *complete != "0";
    request.ownFolder = *ownFolder;
    for (const QByteArray &rule : *rules) {
        const int kind = rule.isEmpty() ? -1 : rule[0] - '0';
        if (kind < FileAllowList::Rule::Read || kind > FileAllowList::Rule::MakeSockets)
            return std::nullopt;
        request.rules.push_back(
            {QByteArray::fromRawData(rule.constData() + 1, rule.size() - 1), FileAllowList::Rule::Kind(kind)});
    }
    request.arguments = std::move(*arguments);
    request.environment = std::move(*environment);
    return request;
}

} // namespace sandbox
