// Message databases as a template library; see message_databases.h.
#include "platform/offline/message_db/message_databases.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>
#include <optional>
#include <utility>

#include "formats/ascii.h"
#include "platform/offline/messages/name_match.h"

namespace qrv::offline {
namespace {

namespace fs = std::filesystem;

// One provider as each database holds it, earlier databases first.
class DatabaseProvider : public ProviderTemplates {
 public:
  struct Source {
    MessageDatabase* database;
    int64_t provider_id;
  };
  explicit DatabaseProvider(std::vector<Source> sources)
      : sources_(std::move(sources)) {}

  const std::vector<MessageTemplate>& Templates(
      uint64_t key) const override {
    const std::lock_guard<std::mutex> lock(mutex_);
    // Every event of a kind asks again: answers are kept per key, and the
    // map's nodes never move, so the list is lent rather than copied.
    auto known = by_key_.find(key);
    if (known == by_key_.end()) known = by_key_.emplace(key, Find(key)).first;
    return known->second;
  }

 private:
  std::vector<MessageTemplate> Find(uint64_t key) const {
    for (size_t s = 0; s < sources_.size(); ++s) {
      std::vector<MessageTemplate> found;
      for (const DatabaseRow& row : Rows(s)) {
        if (row.key != key) continue;
        found.push_back(MessageTemplate{row.row_id, TextOf(s, row)});
      }
      // A database with only empty rows for the key does not answer it.
      if (std::any_of(found.begin(), found.end(), [](const MessageTemplate& t) {
            return !t.text.empty();
          })) {
        return found;
      }
    }
    return {};
  }

 public:
  std::vector<TemplateEvent> Events() const override {
    const std::lock_guard<std::mutex> lock(mutex_);
    ListEvents();
    std::vector<TemplateEvent> events;
    events.reserve(listed_.size());
    for (size_t i = 0; i < listed_.size(); ++i) {
      events.push_back(TemplateEvent{static_cast<uint16_t>(listed_[i].key),
                                     static_cast<uint32_t>(i + 1)});
    }
    return events;
  }

  std::optional<std::string> Text(uint32_t message_id) const override {
    const std::lock_guard<std::mutex> lock(mutex_);
    ListEvents();
    if (message_id == 0 || message_id > listed_.size()) return std::nullopt;
    const Listed& entry = listed_[message_id - 1];
    return TextOf(entry.source, entry.row);
  }

 private:
  struct Listed {
    uint64_t key;
    size_t source;
    DatabaseRow row;
  };

  const std::vector<DatabaseRow>& Rows(size_t source) const {
    std::optional<std::vector<DatabaseRow>>& rows = rows_[source];
    if (!rows) {
      rows =
          sources_[source].database->ProviderRows(sources_[source].provider_id);
    }
    return *rows;
  }

  std::string TextOf(size_t source, const DatabaseRow& row) const {
    if (row.empty) return std::string();
    auto& texts = texts_[source];
    auto it = texts.find(row.row_id);
    if (it == texts.end()) {
      it = texts
               .emplace(row.row_id, sources_[source]
                                        .database->Text(row.row_id)
                                        .value_or(std::string()))
               .first;
    }
    return it->second;
  }

  void ListEvents() const {
    if (listed_ready_) return;
    listed_ready_ = true;
    // Event id -> the source that answers it (the first holding a
    // non-empty template).
    std::map<uint32_t, size_t> owner;
    for (size_t s = 0; s < sources_.size(); ++s) {
      for (const DatabaseRow& row : Rows(s)) {
        if (row.key > 0xFFFF || row.empty) continue;
        owner.emplace(row.key, s);
      }
    }
    for (size_t s = 0; s < sources_.size(); ++s) {
      for (const DatabaseRow& row : Rows(s)) {
        if (row.key > 0xFFFF || row.empty) continue;
        if (owner.at(row.key) == s) listed_.push_back(Listed{row.key, s, row});
      }
    }
    // Rows come in row order per source: a stable sort keeps it per id.
    std::stable_sort(
        listed_.begin(), listed_.end(),
        [](const Listed& a, const Listed& b) { return a.key < b.key; });
  }

  std::vector<Source> sources_;
  mutable std::mutex mutex_;
  mutable std::map<size_t, std::optional<std::vector<DatabaseRow>>> rows_;
  mutable std::map<size_t, std::unordered_map<int64_t, std::string>> texts_;
  mutable std::unordered_map<uint64_t, std::vector<MessageTemplate>> by_key_;
  mutable bool listed_ready_ = false;
  mutable std::vector<Listed> listed_;
};

// A database's build: recorded in the file, else in its published name.
BuildKey KeyOf(const MessageDatabase& database, const fs::path& path) {
  const std::string name = path.filename().string();
  if (const auto& recorded = database.recorded_build()) {
    return BuildKey{recorded->build, recorded->server()};
  }
  return BuildKey{BuildFromDatabaseName(name),
                  ascii::Lower(name).find("server") != std::string::npos};
}

}  // namespace

void MessageDatabases::Add(std::unique_ptr<MessageDatabase> database,
                           const std::string& path, const BuildKey& build) {
  databases_.push_back(std::move(database));
  order_.push_back(path + (build.build ? " (build " +
                                             std::to_string(*build.build) + ")"
                                       : std::string(" (build unknown)")));
}

void MessageDatabases::AddFolder(const std::string& folder,
                                 const std::optional<WindowsBuild>& machine,
                                 std::vector<std::string>* warnings) {
  std::vector<fs::path> files;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() > 3 &&
        ascii::Lower(name).compare(name.size() - 3, 3, ".db") == 0) {
      files.push_back(it->path());
    }
  }
  if (error) {
    warnings->push_back(folder + ": cannot be read: " + error.message());
    return;
  }
  // By name first, so that equally near builds keep one order every run.
  std::sort(files.begin(), files.end());
  struct Candidate {
    std::unique_ptr<MessageDatabase> database;
    std::string path;
    BuildKey key;
  };
  std::vector<Candidate> opened;
  for (const fs::path& file : files) {
    std::string reason;
    if (auto database = MessageDatabase::Open(file.string(), &reason)) {
      const BuildKey key = KeyOf(*database, file);
      opened.push_back(Candidate{std::move(database), file.string(), key});
    } else {
      warnings->push_back(file.string() + ": " + reason);
    }
  }
  std::stable_sort(opened.begin(), opened.end(),
                   [&machine](const Candidate& a, const Candidate& b) {
                     return CloserBuild(a.key, b.key, machine);
                   });
  for (Candidate& c : opened) Add(std::move(c.database), c.path, c.key);
}

std::unique_ptr<MessageDatabases> MessageDatabases::Open(
    std::string_view path_list, std::vector<std::string>* warnings,
    const MachineBuild& machine_build) {
  auto library = std::unique_ptr<MessageDatabases>(new MessageDatabases());
  bool machine_asked = false;
  std::optional<WindowsBuild> machine;
  while (true) {
    const size_t colon = path_list.find(':');
    const std::string path(path_list.substr(0, colon));
    std::error_code error;
    if (path.empty()) {
      // an empty part names nothing
    } else if (!fs::is_directory(path, error)) {
      std::string reason;
      if (auto database = MessageDatabase::Open(path, &reason)) {
        const BuildKey key = KeyOf(*database, path);
        library->Add(std::move(database), path, key);
      } else {
        warnings->push_back(path + ": " + reason);
      }
    } else {
      if (!machine_asked && machine_build) machine = machine_build();
      machine_asked = true;
      library->AddFolder(path, machine, warnings);
    }
    if (colon == std::string_view::npos) break;
    path_list.remove_prefix(colon + 1);
  }
  return library;
}

std::shared_ptr<const ProviderTemplates> MessageDatabases::Find(
    std::string_view provider) const {
  const std::string key = FoldName(provider);
  const std::lock_guard<std::mutex> lock(mutex_);
  auto it = providers_.find(key);
  if (it != providers_.end()) return it->second;
  std::vector<DatabaseProvider::Source> sources;
  for (const auto& database : databases_) {
    if (const std::optional<int64_t> id = database->ProviderId(provider)) {
      sources.push_back(DatabaseProvider::Source{database.get(), *id});
    }
  }
  std::shared_ptr<const ProviderTemplates> found;
  if (!sources.empty()) {
    found = std::make_shared<const DatabaseProvider>(std::move(sources));
  }
  providers_.emplace(key, found);
  return found;
}

}  // namespace qrv::offline
