#include "domain/seed_values.h"

#include <array>
#include <cstdio>

namespace edi::domain {

uint64_t SeedRandom::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

int SeedRandom::between(int lo, int hi) {
    const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo + 1);
    return lo + static_cast<int>(next() % span);
}

bool SeedRandom::chance(int percent) {
    return between(1, 100) <= percent;
}

namespace {

constexpr std::array<const char*, 20> kNomesFemininos = {
    "Maria",  "Ana",  "Conceição", "Fátima", "Inês",   "Lúcia", "Ângela", "Beatriz",  "Graça",     "Joana",
    "Teresa", "Rosa", "Luísa",     "Márcia", "Helena", "Sónia", "Mónica", "Filomena", "Esperança", "Glória"};
constexpr std::array<const char*, 20> kNomesMasculinos = {
    "João",  "José",   "António", "Mário", "Sebastião", "Luís",   "Tomás",   "Joaquim", "André",    "Simão",
    "Paulo", "Manuel", "Rui",     "Vítor", "Estêvão",   "Nélson", "Cláudio", "Fábio",   "Domingos", "Agostinho"};
constexpr std::array<const char*, 24> kApelidos = {
    "Gonçalves", "Simões",    "Araújo",  "Sousa",   "Magalhães", "Brandão", "Conceição", "Lourenço",
    "Gomes",     "Fernandes", "Antunes", "Cardoso", "Falcão",    "Leitão",  "Mendonça",  "Guimarães",
    "Assunção",  "Baptista",  "Pereira", "Tavares", "Carvalho",  "Ribeiro", "Damião",    "Loureiro"};
constexpr std::array<const char*, 12> kRuas = {"Rua da Liberdade",    "Avenida Marginal", "Rua das Acácias",
                                               "Travessa do Mercado", "Rua São João",     "Largo da Igreja",
                                               "Rua do Comércio",     "Avenida da Paz",   "Rua Padre António",
                                               "Beco das Flores",     "Rua da Missão",    "Estrada do Aeroporto"};
constexpr std::array<const char*, 10> kBairros = {
    "Bairro Operário", "Bairro Novo", "Bairro Popular",   "Vila Nova",         "Alto da Cruz",
    "Bairro Azul",     "Cidade Alta", "Bairro Económico", "Bairro do Rosário", "Bairro da Esperança"};
constexpr std::array<const char*, 8> kObservacoes = {
    "Utente encaminhado pela consulta pré-natal.",
    "Teste rápido reactivo; confirmação no laboratório provincial.",
    "Doente refere emagrecimento e febre há três semanas.",
    "Acompanhante informado sobre adesão ao tratamento.",
    "Sem queixas na data da notificação.",
    "Parceiro convidado para aconselhamento e testagem.",
    "Transferido de outra unidade com processo incompleto.",
    "Observação: \"revisão\" marcada; trazer cartão de saúde & análises."};

template <size_t N> const char* pickFrom(SeedRandom& r, const std::array<const char*, N>& items) {
    return items[static_cast<size_t>(r.between(0, static_cast<int>(N) - 1))];
}

} // namespace

Pessoa randomPessoa(SeedRandom& r) {
    return randomPessoa(r, r.chance(55));
}

Pessoa randomPessoa(SeedRandom& r, bool feminino) {
    Pessoa p;
    p.feminino = feminino;
    p.nome = feminino ? pickFrom(r, kNomesFemininos) : pickFrom(r, kNomesMasculinos);
    if (r.chance(30))
        p.nome += std::string(" ") + (feminino ? pickFrom(r, kNomesFemininos) : pickFrom(r, kNomesMasculinos));
    p.nome += std::string(" ") + pickFrom(r, kApelidos) + " " + pickFrom(r, kApelidos);
    return p;
}

std::string randomEndereco(SeedRandom& r) {
    return std::string(pickFrom(r, kRuas)) + ", " + std::to_string(r.between(1, 480)) + ", " + pickFrom(r, kBairros);
}

std::string randomTelefone(SeedRandom& r) {
    char text[16];
    std::snprintf(text, sizeof text, "9%02d %03d %03d", r.between(1, 99), r.between(0, 999), r.between(0, 999));
    return text;
}

std::string randomObservacao(SeedRandom& r) {
    return pickFrom(r, kObservacoes);
}

Bytes randomBytes(SeedRandom& r, int minSize, int maxSize) {
    Bytes bytes(static_cast<size_t>(r.between(minSize, maxSize)));
    for (auto& b : bytes)
        b = static_cast<uint8_t>(r.next());
    return bytes;
}

Date addDays(Date d, int days) {
    return Date{d.days + days};
}

Timestamp atTime(Date d, SeedRandom& r) {
    return Timestamp{d, Time::fromHms(r.between(7, 16), r.between(0, 59), r.between(0, 59))};
}

int yearsBetween(Date from, Date to) {
    int y1, m1, d1, y2, m2, d2;
    from.toYmd(y1, m1, d1);
    to.toYmd(y2, m2, d2);
    return y2 - y1 - ((m2 < m1 || (m2 == m1 && d2 < d1)) ? 1 : 0);
}

std::string mesAno(int year, int month) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d/%04d", month, year);
    return text;
}

} // namespace edi::domain
