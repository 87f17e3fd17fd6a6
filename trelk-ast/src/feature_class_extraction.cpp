// The records of feature classes and their fields.

#include <algorithm>

#include "comment_ranges.h"
#include "namespace_name.h"
#include "text_lines.h"
#include "type_parsing.h"
#include "utf8.h"
#include "white_space.h"

namespace trelk {

namespace {

constexpr std::string_view kFeaturesModule[] = {"trelk.features"};
constexpr std::string_view kFeaturesDecorator[] = {"features"};
constexpr std::string_view kOwnerMark = ":owner:";
constexpr std::string_view kTagsMark = ":tags:";

// The text of a comment: without its leading "#" signs and the white space
// around it.
std::string_view comment_text(std::string_view comment) {
  const std::size_t first = comment.find_first_not_of('#');
  return trim_white_space(
      first == std::string_view::npos ? "" : comment.substr(first));
}

// The documenting comment blocks of a class's field statements, in one
// forward pass over both: a block is a run of own-line comments on
// consecutive lines, and it documents the field statement on the line right
// after its last comment.
OrderedMap<FieldCommentMetadata> comment_metadata(
    const ParsedFileCache& file, const divu::StmtClassDef& cls,
    std::span<const divu::Stmt* const> fields, const LocationContext& context) {
  OrderedMap<FieldCommentMetadata> metadata;
  const std::string_view text = context.text();
  const std::span<const divu::TextRange> comments =
      file.comment_ranges().comments_in_range(cls.range);
  std::size_t next_comment = 0;
  struct Comment {
    std::string_view text;
    std::uint32_t line;
  };
  Comment pending{};
  bool has_pending = false;
  bool used_up = false;
  std::vector<std::string_view> block;
  std::uint32_t block_last_line = 0;
  for (const divu::Stmt* field : fields) {
    const std::uint32_t field_line =
        context.index().line_column(field->range.start(), text).line;
    block.clear();
    while (true) {
      if (!has_pending) {
        while (next_comment < comments.size() &&
               !divu::CommentRanges::is_own_line(comments[next_comment].start(),
                                                 text)) {
          ++next_comment;
        }
        if (used_up || next_comment == comments.size()) {
          used_up = true;
          break;
        }
        const divu::TextRange range = comments[next_comment++];
        pending = Comment{
            .text = comment_text(range.slice(text)),
            .line = context.index().line_column(range.start(), text).line};
        has_pending = true;
      }
      if (pending.line >= field_line) {
        break;
      }
      if (block.empty() || pending.line != block_last_line + 1) {
        block.clear();
      }
      block.push_back(pending.text);
      block_last_line = pending.line;
      has_pending = false;
    }
    if (!block.empty() && block_last_line + 1 == field_line) {
      metadata.insert_or_assign(*feature_field_name(*field),
                                parse_comment_block(block));
    }
  }
  return metadata;
}

FieldCommentMetadata metadata_for(
    const OrderedMap<FieldCommentMetadata>& metadata, std::string_view name) {
  const FieldCommentMetadata* found = metadata.find(name);
  return found != nullptr ? *found : FieldCommentMetadata{};
}

// Sets a field's call location and, for a call, its keyword maps.
void set_feature_call(const divu::Expr& value, const LocationContext& context,
                      FeatureFieldAST& field) {
  field.feature_call = context.location_of(value);
  if (const auto* call = value.dyn_cast<divu::ExprCall>()) {
    KeywordLocations keywords =
        keyword_location_maps(call->arguments.keywords, context);
    field.kwarg_names = std::move(keywords.names);
    field.kwargs = std::move(keywords.values);
  }
}

// The namespace a decorator's "name" keyword gives, when it is a plain
// string.
std::optional<std::string> namespace_keyword(const divu::Expr& decorator) {
  const auto* call = decorator.dyn_cast<divu::ExprCall>();
  if (call == nullptr) {
    return std::nullopt;
  }
  for (const divu::Keyword& keyword : call->arguments.keywords) {
    if (keyword.arg == nullptr || keyword.arg->id != "name") {
      continue;
    }
    if (const divu::StringLiteral* literal =
            single_string_literal(*keyword.value)) {
      return std::string(literal->value);
    }
  }
  return std::nullopt;
}

// The class's own part of its record: names, source, locations and the
// decorator's keywords, without fields. None where the class carries no
// decorator of `decorator_names` or its source cannot be cut.
std::optional<FeatureClassAST> class_record(const divu::StmtClassDef& cls,
                                            const NameSet& decorator_names,
                                            std::string_view module,
                                            const LocationContext& context) {
  const std::string_view text = context.text();
  const divu::TextSize name_start = cls.name.range.start();
  if (name_start >= text.size()) {
    return std::nullopt;
  }
  const divu::Decorator* decorator =
      first_decorator_named(cls.decorator_list, decorator_names);
  if (decorator == nullptr) {
    return std::nullopt;
  }
  const divu::TextSize source_start = cls.decorator_list.front().range.start();
  std::optional<std::string> source =
      dedented_source(text, source_start, cls.range.end());
  if (!source) {
    return std::nullopt;
  }
  const std::size_t line_break = text.substr(0, name_start).rfind('\n');
  const auto line_start = static_cast<divu::TextSize>(
      line_break == std::string_view::npos ? 0 : line_break + 1);
  const auto line_end = static_cast<divu::TextSize>(
      std::min(text.find('\n', name_start), text.size()));
  const std::string_view class_name = cls.name.id.as_str();
  FeatureClassAST record{
      .module = std::string(module),
      .namespace_name = {},
      .class_name = std::string(class_name),
      .source = std::move(*source),
      .class_name_location = context.location(cls.name.range),
      .class_definition_location =
          context.location(divu::TextRange(line_start, line_end)),
      .decorator_location = context.location_of(*decorator->expression),
  };
  if (const auto* call = decorator->expression->dyn_cast<divu::ExprCall>()) {
    KeywordLocations keywords =
        keyword_location_maps(call->arguments.keywords, context);
    record.kwarg_names = std::move(keywords.names);
    record.kwargs = std::move(keywords.values);
  }
  std::optional<std::string> namespace_name =
      namespace_keyword(*decorator->expression);
  record.namespace_name =
      namespace_name ? std::move(*namespace_name) : to_snake_case(class_name);
  return record;
}

// Adds the fields of `fields`, statements of `cls`'s body, to `record`:
// first the annotated ones, the first of a name winning, then the plain
// assignments, which give a field its value.
void add_fields(const ParsedFileCache& file, const divu::StmtClassDef& cls,
                std::span<const divu::Stmt* const> fields,
                const LocationContext& context, FeatureClassAST& record) {
  const OrderedMap<FieldCommentMetadata> metadata =
      comment_metadata(file, cls, fields, context);
  for (const divu::Stmt* stmt : fields) {
    const auto* annotated = stmt->dyn_cast<divu::StmtAnnAssign>();
    if (annotated == nullptr) {
      continue;
    }
    const std::string_view name = *feature_field_name(*stmt);
    FeatureFieldAST field =
        new_feature_field_ast(name, context.location_of(*annotated->target),
                              metadata_for(metadata, name));
    field.annotation = context.location_of(*annotated->annotation);
    if (annotated->value != nullptr && annotated->value->is<divu::ExprCall>()) {
      set_feature_call(*annotated->value, context, field);
    }
    record.annotations.push_back(std::move(field));
  }
  for (const FeatureFieldAST& field : record.annotations) {
    if (!record.fields.contains(field.field_name)) {
      record.fields.insert_or_assign(field.field_name, field);
    }
  }
  for (const divu::Stmt* stmt : fields) {
    const auto* assigned = stmt->dyn_cast<divu::StmtAssign>();
    if (assigned == nullptr) {
      continue;
    }
    const std::string_view name = *feature_field_name(*stmt);
    FeatureFieldAST field =
        new_feature_field_ast(name, context.location_of(*assigned->targets[0]),
                              metadata_for(metadata, name));
    set_feature_call(*assigned->value, context, field);
    FeatureFieldAST* existing = record.fields.find(name);
    if (existing == nullptr) {
      record.fields.insert_or_assign(name, std::move(field));
      continue;
    }
    // A later plain assignment gives an annotated field its value, keeping
    // the annotation's name, place and comments.
    existing->feature_call = std::move(field.feature_call);
    existing->kwarg_names = std::move(field.kwarg_names);
    existing->kwargs = std::move(field.kwargs);
  }
}

std::optional<FeatureClassAST> describe_class(const ParsedFileCache& file,
                                              const divu::StmtClassDef& cls,
                                              const NameSet& decorator_names,
                                              std::string_view module,
                                              const LocationContext& context) {
  std::optional<FeatureClassAST> record =
      class_record(cls, decorator_names, module, context);
  if (!record) {
    return std::nullopt;
  }
  std::vector<const divu::Stmt*> fields;
  for (const divu::Stmt* stmt : cls.body) {
    if (feature_field_name(*stmt)) {
      fields.push_back(stmt);
    }
  }
  if (!fields.empty()) {
    add_fields(file, cls, fields, context, *record);
  }
  return record;
}

}  // namespace

std::optional<std::string_view> feature_field_name(const divu::Stmt& stmt) {
  const divu::Expr* target = nullptr;
  if (const auto* assigned = stmt.dyn_cast<divu::StmtAssign>()) {
    if (assigned->targets.size() == 1) {
      target = assigned->targets[0];
    }
  } else if (const auto* annotated = stmt.dyn_cast<divu::StmtAnnAssign>()) {
    target = annotated->target;
  }
  if (target == nullptr) {
    return std::nullopt;
  }
  const auto* name = target->dyn_cast<divu::ExprName>();
  if (name == nullptr) {
    return std::nullopt;
  }
  return name->id.as_str();
}

FeatureFieldAST new_feature_field_ast(std::string_view name,
                                      Location name_location,
                                      FieldCommentMetadata metadata) {
  return FeatureFieldAST{
      .field_name = std::string(name),
      .field_name_location = std::move(name_location),
      .comment = std::move(metadata.comment),
      .description = std::move(metadata.description),
      .owner = std::move(metadata.owner),
      .tags = std::move(metadata.tags),
  };
}

FieldCommentMetadata parse_comment_block(
    std::span<const std::string_view> texts) {
  FieldCommentMetadata metadata;
  const std::string comment = join(texts, "\n");
  std::vector<std::string_view> description;
  for (const std::string_view line : text_lines(comment)) {
    const std::string_view trimmed = trim_white_space(line);
    if (trimmed.starts_with(kOwnerMark)) {
      metadata.owner =
          std::string(trim_white_space(trimmed.substr(kOwnerMark.size())));
    } else if (trimmed.starts_with(kTagsMark)) {
      std::string tags(trimmed.substr(kTagsMark.size()));
      std::ranges::replace(tags, ',', ' ');
      for (const std::string_view tag : split_white_space(tags)) {
        metadata.tags.emplace_back(tag);
      }
    } else {
      description.push_back(line);
    }
  }
  if (!description.empty()) {
    std::string joined = join(description, "\n");
    if (!trim_white_space(joined).empty()) {
      metadata.description = std::move(joined);
    }
  }
  metadata.comment = comment;
  return metadata;
}

std::optional<std::string> dedented_source(std::string_view text,
                                           divu::TextSize start,
                                           divu::TextSize end) {
  if (!is_char_boundary(text, start) || !is_char_boundary(text, end)) {
    return std::nullopt;
  }
  const std::size_t line_break = text.substr(0, start).rfind('\n');
  const std::size_t cut_start =
      line_break == std::string_view::npos ? 0 : line_break + 1;
  const std::size_t last_break = text.find('\n', end);
  const std::size_t cut_end =
      last_break == std::string_view::npos ? text.size() : last_break + 1;
  const std::string_view cut = text.substr(cut_start, cut_end - cut_start);

  // The longest run of spaces and tabs that begins every non-blank line.
  std::optional<std::string_view> prefix;
  for (const std::string_view line : text_lines(cut)) {
    if (trim_white_space(line).empty()) {
      continue;
    }
    const std::string_view indent =
        line.substr(0, std::min(line.find_first_not_of(" \t"), line.size()));
    if (!prefix) {
      prefix = indent;
      continue;
    }
    const auto [differs, ignored] = std::ranges::mismatch(*prefix, indent);
    prefix =
        prefix->substr(0, static_cast<std::size_t>(differs - prefix->begin()));
  }
  const std::string_view common = prefix.value_or("");

  std::string source;
  source.reserve(cut.size());
  std::string_view rest = cut;
  while (!rest.empty()) {
    const std::size_t newline = rest.find('\n');
    const std::size_t line_size =
        newline == std::string_view::npos ? rest.size() : newline + 1;
    std::string_view line = rest.substr(0, line_size);
    rest.remove_prefix(line_size);
    std::string_view terminator;
    if (line.ends_with("\r\n")) {
      terminator = line.substr(line.size() - 2);
    } else if (line.ends_with('\n')) {
      terminator = line.substr(line.size() - 1);
    }
    line.remove_suffix(terminator.size());
    if (trim_white_space(line).empty()) {
      source.append(terminator);
      continue;
    }
    if (line.starts_with(common)) {
      line.remove_prefix(common.size());
    }
    source.append(line);
    source.append(terminator);
  }
  return source;
}

std::vector<FeatureClassAST> collect_feature_class_asts(
    const ParsedFileCache& file,
    std::span<const divu::StmtClassDef* const> classes, std::string_view module,
    const LocationContext& context) {
  const NameSet decorator_names = collect_import_names_for_symbols_from_map(
      file.import_map(), kFeaturesModule, kFeaturesDecorator);
  std::vector<FeatureClassAST> feature_classes;
  if (decorator_names.empty()) {
    return feature_classes;
  }
  for (const divu::StmtClassDef* cls : classes) {
    if (std::optional<FeatureClassAST> record =
            describe_class(file, *cls, decorator_names, module, context)) {
      feature_classes.push_back(std::move(*record));
    }
  }
  return feature_classes;
}

}  // namespace trelk
